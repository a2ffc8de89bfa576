#pragma once
// The read-back verify of ukavlen: the upload request, the blocks read from
// the IN pipe and compared with the image buffer, and the outcome told to the
// device.

#include <cstdint>
#include <optional>

#include "console/run_events.h"
#include "device/device_link.h"
#include "device/image_buffer.h"

namespace kavlen::console {

enum class VerifyOutcome {
  Passed,      // every block read whole and equal: "Verify OK !!" printed
  Mismatch,    // a byte differed: the error line printed
  Incomplete,  // the read-back could not be done to its end and found no difference
};

struct Difference {
  std::uint32_t offset;
  std::uint8_t original;  // image byte
  std::uint8_t target;    // device byte
};

struct ReadBack {
  bool complete = false;  // every block read whole
  std::optional<Difference> first;
};

// Reads blocks 0..blockCount-1 from an open IN pipe, a dot per block, and
// keeps the first byte that differs from the image. All blocks are read even
// after a difference; a failed or short read stops at that block and names it.
ReadBack ReadAndCompare(DriverApi& api, Handle pipe, const std::uint8_t* image,
                        std::uint16_t blockCount, TraceSink& sink);

// Opens and closes the device and the IN pipe itself; the device is closed
// when it returns. The device is told the outcome only when the comparison
// found a difference or completed.
VerifyOutcome VerifyImage(DeviceLink& link, const ImageBuffer& buffer, std::uint16_t blockCount,
                          RunEvents& events);

// The read-back and comparison of VerifyImage with its lines, on a device
// that is open or opens; nothing is told to the device about the outcome.
VerifyOutcome CompareImage(DeviceLink& link, const ImageBuffer& buffer, std::uint16_t blockCount,
                           RunEvents& events);

}  // namespace kavlen::console
