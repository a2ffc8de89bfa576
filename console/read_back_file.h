#pragma once
// The file ukavlen --read fills. It is made ready before the device is asked
// for anything, so that a name that cannot take it stops the run before the
// read, and it gets the memory only once every block was read whole: until
// then the name keeps what it held. A FIFO, a terminal or a device under the
// name is written to, never replaced.

#include <cstdint>
#include <vector>

#include "console/read_back.h"
#include "platform/file_replacement.h"

namespace kavlen::console {

class ReadBackFile {
 public:
  explicit ReadBackFile(const ReadRequest& request);
  bool ready() const { return file_.ready(); }
  // The memory in the request's format; false when it was not written whole.
  bool Write(const std::vector<std::uint8_t>& memory);

 private:
  const ReadRequest& request_;
  FileReplacement file_;
};

}  // namespace kavlen::console
