#include "console/download.h"

#include "console/image_load.h"
#include "console/interrupt.h"
#include "device/protocol.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"

namespace kavlen::console {

namespace {

int Fail(ImageBuffer& buffer, TraceSink& sink, const char* message) {
  sink.Print(message);
  buffer.Release();
  return 0;
}

}  // namespace

bool WriteBlocks(DriverApi& api, Handle pipe, const std::uint8_t* image, std::uint16_t blockCount,
                 TraceSink& sink) {
  for (std::uint32_t k = 0; k < blockCount; ++k) {
    std::uint32_t written = 0;
    const bool ok = api.WriteFile(pipe, image + k * kTransferBlockSize, kTransferBlockSize, &written);
    if (!ok || written != kTransferBlockSize) {
      sink.Print(StrPrintf("\nWrite Block %u Fail! ...\n", k));
      return false;
    }
    sink.Print(".");
    if (InterruptRequested() && k + 1 < blockCount) {
      sink.Print(StrPrintf("\nInterrupted after block %u ...\n", k));
      return false;
    }
  }
  return true;
}

int DownloadImage(DeviceLink& link, const ConsoleSettings& settings, std::uint8_t supportedCode,
                  ImageBuffer& buffer, LoadedImage& image) {
  TraceSink& sink = link.sink();
  if (LoadConsoleImage(settings, supportedCode, buffer, image, sink) == 0) {
    sink.Print("Load Binary File is Fail, Program terminated !\n");
    return 0;
  }
  sink.Print("Load Binary File is OK! ...\n");
  // The file's whole length is checked: what does not fit the image buffer
  // cannot be sent whole, however large the emulator.
  if (image.length > ImageBuffer::size() || !FitsCapacity(image.length, supportedCode)) {
    return Fail(buffer, sink,
                "File Size Exceed the Hardware supported, Stop download to Hardware !!\n");
  }

  const std::uint16_t blockCount = TransferBlockCount(image.sizeCode);
  DriverApi& api = link.api();
  CommandBlock& block = link.block();
  BuildDownload(block, blockCount);
  TailExchange(api, link.device(), block);
  if (!WaitReady(api, link.device(), block)) {
    return Fail(buffer, sink, "Device is Check not ready ...Fail!\n");
  }
  link.CloseDevice();

  const Handle pipe = link.OpenPipe(kPipeOut);
  if (pipe == kInvalidHandle) {
    return Fail(buffer, sink, "\nOpen Out Write Pipe Error... Fail!\n");
  }
  sink.Print("Download");
  const bool written = WriteBlocks(api, pipe, buffer.data(), blockCount, sink);
  api.CloseHandle(pipe);
  if (!written) {
    buffer.Release();
    return 0;
  }
  sink.Print("Done ! \n");
  return 1;
}

}  // namespace kavlen::console
