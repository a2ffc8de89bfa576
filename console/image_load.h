#pragma once
// The image file of a ukavlen run into the image buffer, whatever its format:
// binary as always, Intel HEX or S-records placed at their addresses minus
// the base.

#include <cstdint>

#include "console/options.h"
#include "device/image_buffer.h"

namespace kavlen::console {

// The format the run uses: --format, otherwise the file's extension.
ImageFormat FormatOf(const ConsoleSettings& settings);

// As LoadImageFile for binary files. A text image is refused with one line
// naming the file, the line and the fault (a record past the capacity of
// supportedCode among them); a chosen base is told in one line after the
// size and checksum line. 1 on success; 0 with the buffer released.
// placedBase, when given, gets the address of the ROM's first byte (0 for
// binary images).
int LoadConsoleImage(const ConsoleSettings& settings, std::uint8_t supportedCode,
                     ImageBuffer& buffer, LoadedImage& image, TraceSink& sink,
                     std::uint32_t* placedBase = nullptr);

}  // namespace kavlen::console
