#include "console/download.h"

#include "console/image_load.h"
#include "console/transfer_wording.h"
#include "device/rom_capacity.h"
#include "device/transfer_engine.h"

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
  ConsoleWording wording(sink);
  return WritePipeBlocks(api, pipe, image, blockCount, wording, &wording.cancel).end == BlockEnd::Done;
}

bool LoadForDownload(const ConsoleSettings& settings, std::uint8_t supportedCode,
                     ImageBuffer& buffer, LoadedImage& image, TraceSink& sink, RunEvents& events) {
  std::uint32_t base = 0;
  if (LoadConsoleImage(settings, supportedCode, buffer, image, sink, &base) == 0) {
    sink.Print("Load Binary File is Fail, Program terminated !\n");
    return false;
  }
  sink.Print("Load Binary File is OK! ...\n");
  events.OnImage({settings.fileName, FormatOf(settings), image.length, image.checksum, base,
                  settings.fillCode});
  // The file's whole length is checked: what does not fit the image buffer
  // cannot be sent whole, however large the emulator.
  if (image.length > ImageBuffer::size() || !FitsCapacity(image.length, supportedCode)) {
    Fail(buffer, sink, "File Size Exceed the Hardware supported, Stop download to Hardware !!\n");
    return false;
  }
  return true;
}

int DownloadImage(DeviceLink& link, const ConsoleSettings& settings, std::uint8_t supportedCode,
                  ImageBuffer& buffer, LoadedImage& image, RunEvents& events) {
  TraceSink& sink = link.sink();
  if (!LoadForDownload(settings, supportedCode, buffer, image, sink, events)) return 0;

  ConsoleWording wording(sink, &events);
  const TransferResult sent = TransferEngine(link, wording, &wording.cancel)
                                  .Download(buffer.data(), TransferBlockCount(image.sizeCode));
  if (sent.status == TransferStatus::Ok) return 1;
  if (sent.fault == TransferFault::NotReady) sink.Print("Device is Check not ready ...Fail!\n");
  if (sent.fault == TransferFault::PipeFailed) sink.Print("\nOpen Out Write Pipe Error... Fail!\n");
  buffer.Release();
  return 0;
}

}  // namespace kavlen::console
