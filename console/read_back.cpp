#include "console/read_back.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "console/run_sequence.h"
#include "device/image_buffer.h"
#include "device/protocol.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"

namespace kavlen::console {

namespace {

std::uint16_t BlocksToRead(std::uint8_t supportedCode) {
  const std::uint8_t code = IsRomSizeCode(supportedCode) ? supportedCode : kLargestTransferSizeCode;
  return static_cast<std::uint16_t>(kBlockCountTable[code]);
}

// Reads `blocks` blocks from the open IN pipe, a dot per block.
bool ReadBlocks(DriverApi& api, Handle pipe, std::uint8_t* data, std::uint16_t blocks,
                TraceSink& sink) {
  for (std::uint32_t k = 0; k < blocks; ++k) {
    std::uint32_t got = 0;
    if (!api.ReadFile(pipe, data + k * kTransferBlockSize, kTransferBlockSize, &got) ||
        got != kTransferBlockSize) {
      sink.Print(StrPrintf("\nRead Block %u Fail! ...\n", k));
      return false;
    }
    sink.Print(".");
  }
  return true;
}

bool WriteWhole(std::FILE* file, const void* data, std::size_t size) {
  return std::fwrite(data, 1, size, file) == size;
}

}  // namespace

int ReadEmulator(const ReadRequest& request, DeviceLink& link) {
  TraceSink& sink = link.sink();
  std::uint8_t supportedCode = kUnknownRomSizeCode;  // until the device says otherwise
  if (!PrepareDevice(link, supportedCode)) return kReadStopped;

  const std::uint16_t blocks = BlocksToRead(supportedCode);
  const std::uint32_t size = std::uint32_t{blocks} * kTransferBlockSize;
  sink.Print(" \n");
  sink.Print("Read Back FileName = " + request.fileName + " \n");
  if (request.format != ImageFormat::Binary && std::uint64_t{request.base} + size > 0x100000000ull) {
    sink.Print(StrPrintf("Base Address 0x%X leaves no room for %u Bytes ...\n", request.base, size));
    link.CloseDevice();
    return kReadStopped;
  }
  std::vector<std::uint8_t> data;
  try {
    data.resize(size);
  } catch (const std::bad_alloc&) {
    sink.Print("Allocate Read Buffer Fail! ...\n");
    link.CloseDevice();
    return kReadStopped;
  }
  // The file is made before the device is asked for anything, so that a
  // folder that cannot take it stops the run before the read.
  const std::string partial = request.fileName + ".part";
  std::FILE* file = std::fopen(partial.c_str(), "wb");
  if (file == nullptr) {
    sink.Print("Open Output file Fail! ...\nPlease Check the Path ...\n");
    link.CloseDevice();
    return kReadStopped;
  }
  auto fail = [&]() {
    std::fclose(file);
    std::remove(partial.c_str());
    return kReadFailed;
  };

  BuildUpload(link.block(), blocks);
  TailExchange(link.api(), link.device(), link.block());
  link.CloseDevice();
  const Handle pipe = link.OpenPipe(kPipeIn);
  if (pipe == kInvalidHandle) {
    sink.Print("\nOpen In Read Pipe Error... Fail!\n");
    return fail();
  }
  sink.Print("Read");
  const bool read = ReadBlocks(link.api(), pipe, data.data(), blocks, sink);
  link.api().CloseHandle(pipe);
  if (!read) return fail();
  sink.Print("Done ! \n");

  bool written = false;
  if (request.format == ImageFormat::Binary) {
    written = WriteWhole(file, data.data(), data.size());
  } else {
    const std::string text = request.format == ImageFormat::IntelHex
                                 ? FormatIntelHex(data.data(), size, request.base)
                                 : FormatSrecord(data.data(), size, request.base);
    written = WriteWhole(file, text.data(), text.size());
  }
  if (!written || std::fflush(file) != 0) {
    sink.Print("Write Output file Fail! ...\n");
    return fail();
  }
  std::error_code error;
  if (std::fclose(file) != 0) error = std::make_error_code(std::errc::io_error);
  if (!error) std::filesystem::rename(partial, request.fileName, error);
  if (error) {
    std::remove(partial.c_str());
    sink.Print("Write Output file Fail! ...\n");
    return kReadFailed;
  }
  sink.Print(StrPrintf("Read File size = %u Bytes, CheckSum = 0x%X\n", size,
                       static_cast<unsigned>(ImageChecksum(data.data(), size))));
  return kReadOk;
}

}  // namespace kavlen::console
