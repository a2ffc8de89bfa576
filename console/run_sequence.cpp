#include "console/run_sequence.h"

#include <algorithm>
#include <string>
#include <vector>

#include "console/download.h"
#include "console/interrupt.h"
#include "console/transfer_wording.h"
#include "console/verify.h"
#include "device/device_os.h"
#include "device/image_buffer.h"
#include "device/protocol.h"
#include "device/rom_capacity.h"
#include "device/transfer_engine.h"
#include "platform/system.h"

namespace kavlen::console {

std::uint32_t EmulatorNumber(DeviceLink& link) {
  const std::vector<std::string> paths = link.EmulatorPaths();
  const auto at = std::find(paths.begin(), paths.end(), link.path());
  return at == paths.end() ? 0 : static_cast<std::uint32_t>(at - paths.begin() + 1);
}

bool PrepareDevice(DeviceLink& link, std::uint8_t& supportedCode, RunEvents& events) {
  TraceSink& sink = link.sink();
  ConsoleWording wording(sink, &events);
  const std::string osFile = DeviceOsPath(GetModuleDirectory());
  const Preparation prepared = TransferEngine(link, wording).Prepare(osFile);
  if (prepared.status != TransferStatus::NoDevice) {
    events.OnDevice(prepared, link.path(), EmulatorNumber(link));
    events.OnDeviceOs(prepared.osLoaded, osFile, prepared.osLength);
  }
  if (prepared.status == TransferStatus::Ok) {
    if (prepared.info.received) supportedCode = prepared.info.sizeCode;
    if (!prepared.osLoaded) sink.Print("Device OS is already!\n");
    return true;
  }
  PrintPrepareFailure(prepared.fault, sink);
  return false;
}

namespace {

// CMD_END_DOWNLOAD then CMD_RESET_TARGET on a fresh handle, replies unread.
// The reset goes out even when the end of the download did not; true only
// when both reached the device.
bool EndAndReset(DeviceLink& link) {
  TraceSink& sink = link.sink();
  TransferObserver unworded;
  const ResetResult reset = TransferEngine(link, unworded).EndAndReset();
  if (reset.status == TransferStatus::NoDevice) {
    sink.Print("Reset Command Fail in Open Device...\n");
    return false;
  }
  if (!reset.endSent) sink.Print("Reset Command Fail in Send End Download...\n");
  if (!reset.resetSent) sink.Print("Reset Command Fail in Send Reset Target...\n");
  return reset.status == TransferStatus::Ok;
}

// The device made ready for the image, then the image's name said; false
// when the device could not be prepared. An image that is no regular file
// (a FIFO, a device, a folder) could hold the emulator for ever in its open
// or its read: the emulator is not opened, and the load that follows fails
// it as a file that cannot be opened.
bool PrepareForImage(const ConsoleSettings& settings, DeviceLink& link, std::uint8_t& supportedCode,
                     RunEvents& events) {
  if (!NamesNonRegularFile(settings.fileName) && !PrepareDevice(link, supportedCode, events)) {
    return false;
  }
  link.sink().Print(" \n");
  link.sink().Print("FileName = " + settings.fileName + " \n ");
  return true;
}

}  // namespace

int RunSequence(const ConsoleSettings& settings, DeviceLink& link, RunEvents& events) {
  std::uint8_t supportedCode = 0;  // until the device says otherwise
  if (!PrepareForImage(settings, link, supportedCode, events)) return kExitStopped;

  ImageBuffer buffer;
  LoadedImage image;
  if (DownloadImage(link, settings, supportedCode, buffer, image, events) == 0) {
    link.CloseDevice();  // still open when the download stopped before the pipe
    return kExitDownloadFailed;
  }

  bool verified = true;
  if (settings.verify) {
    verified = VerifyImage(link, buffer, TransferBlockCount(image.sizeCode), events) ==
               VerifyOutcome::Passed;
  }
  // The reset follows whatever the verify found, unless Ctrl-C cut it short.
  if (!verified && InterruptRequested()) {
    buffer.Release();
    return kExitVerifyFailed;
  }
  const bool reset = EndAndReset(link);
  buffer.Release();
  if (!verified) return kExitVerifyFailed;
  return reset ? kExitOk : kExitResetFailed;
}

int VerifyOnly(const ConsoleSettings& settings, DeviceLink& link, RunEvents& events) {
  std::uint8_t supportedCode = 0;  // until the device says otherwise
  if (!PrepareForImage(settings, link, supportedCode, events)) return kExitStopped;

  TraceSink& sink = link.sink();
  ImageBuffer buffer;
  LoadedImage image;
  if (!LoadForDownload(settings, supportedCode, buffer, image, sink, events)) {
    link.CloseDevice();
    return kExitDownloadFailed;
  }
  const VerifyOutcome outcome =
      CompareImage(link, buffer, TransferBlockCount(image.sizeCode), events);
  buffer.Release();
  return outcome == VerifyOutcome::Passed ? kExitOk : kExitVerifyFailed;
}

}  // namespace kavlen::console
