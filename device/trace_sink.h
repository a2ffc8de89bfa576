#pragma once
// Where the device layer's trace and message lines go. The device layer never
// prints by itself; each program hands it a sink (both programs: standard
// output, flushed per message).

#include <string_view>

namespace kavlen {

class TraceSink {
 public:
  virtual ~TraceSink() = default;
  virtual void Print(std::string_view text) = 0;
};

// Which program's diagnostic lines the device layer prints where the two
// programs differ: an explicit choice of the caller.
enum class Flavour { Console, Gui };

}  // namespace kavlen
