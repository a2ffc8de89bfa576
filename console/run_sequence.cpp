#include "console/run_sequence.h"

#include "console/download.h"
#include "console/interrupt.h"
#include "console/verify.h"
#include "device/console_identification.h"
#include "device/device_os.h"
#include "device/protocol.h"
#include "device/rom_capacity.h"
#include "platform/system.h"

namespace kavlen::console {

bool PrepareDevice(DeviceLink& link, std::uint8_t& supportedCode) {
  TraceSink& sink = link.sink();
  if (link.OpenDevice() == kInvalidHandle) {
    sink.Print("Please Check the USB Cable ...and try it again !\n");
    return false;
  }
  DriverApi& api = link.api();
  const BootStatus boot = ConsoleQueryBootStatus(api, link.device(), link.block(), sink);
  const bool bootCodeOnly = boot.needsOsLoad == 1;
  if (bootCodeOnly) {
    sink.Print("Device OS is not Ready!\n");
    sink.Print("Load the device OS Now ...\n");
    if (LoadDeviceOs(api, link.device(), link.block(), sink, GetModuleDirectory()) == 0) {
      sink.Print("Device OS Update Fail ! ...\n");
      link.CloseDevice();
      return false;
    }
    sink.Print("Device OS Update OK ! ...\n");
  } else if (boot.stateCode != DEV_STATE_OS_RUNNING) {
    sink.Print("DEVICE FATAL Error !!\n ");
    link.CloseDevice();
    return false;
  }
  const DeviceInfo info = ConsoleQueryDeviceInfo(api, link.device(), link.block(), sink);
  if (info.received) supportedCode = info.sizeCode;
  if (!bootCodeOnly) sink.Print("Device OS is already!\n");
  return true;
}

namespace {

// CMD_END_DOWNLOAD then CMD_RESET_TARGET on a fresh handle, replies unread.
// The reset goes out even when the end of the download did not; true only
// when both reached the device.
bool EndAndReset(DeviceLink& link) {
  TraceSink& sink = link.sink();
  if (link.OpenDevice() == kInvalidHandle) {
    sink.Print("Reset Command Fail in Open Device...\n");
    return false;
  }
  const bool ended = SendEndDownload(link.api(), link.device(), link.block());
  if (!ended) sink.Print("Reset Command Fail in Send End Download...\n");
  const bool reset = SendResetTarget(link.api(), link.device(), link.block());
  if (!reset) sink.Print("Reset Command Fail in Send Reset Target...\n");
  link.CloseDevice();
  return ended && reset;
}

}  // namespace

int RunSequence(const ConsoleSettings& settings, DeviceLink& link) {
  std::uint8_t supportedCode = 0;  // until the device says otherwise
  if (!PrepareDevice(link, supportedCode)) return kExitStopped;

  TraceSink& sink = link.sink();
  sink.Print(" \n");
  sink.Print("FileName = " + settings.fileName + " \n ");

  ImageBuffer buffer;
  LoadedImage image;
  if (DownloadImage(link, settings, supportedCode, buffer, image) == 0) {
    link.CloseDevice();  // still open when the download stopped before the pipe
    return kExitDownloadFailed;
  }

  bool verified = true;
  if (settings.verify) {
    verified = VerifyImage(link, buffer, TransferBlockCount(image.sizeCode)) ==
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

}  // namespace kavlen::console
