#include "console/dry_run.h"

#include <filesystem>
#include <system_error>

#include "console/download.h"
#include "console/run_sequence.h"
#include "console/transfer_wording.h"
#include "device/device_os.h"
#include "device/identification_text.h"
#include "device/image_buffer.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"
#include "platform/system.h"

namespace kavlen::console {

namespace {

enum class Answer {
  Usable,      // or none answers: the image is checked against the buffer
  Fatal,       // a run stops before the image
  NoDeviceOs,  // boot code only, and no device OS file to give it: a run stops too
};

// What the emulator says without being changed, and its supported code
// (left as it is when none answers or the device OS does not run).
Answer AskEmulator(DeviceLink& link, RunEvents& events, std::uint8_t& supportedCode) {
  TraceSink& sink = link.sink();
  if (link.OpenDevice() == kInvalidHandle) {
    sink.Print("Dry run: no emulator answers; the image is checked against the 4 MBytes buffer\n");
    return Answer::Usable;
  }
  ConsoleWording wording(sink, &events);
  Preparation seen;
  seen.boot = QueryBootStatus(link.api(), link.device(), link.block());
  wording.OnBootStatus(seen.boot);
  Answer answer = Answer::Usable;
  if (seen.boot.needsOsLoad == 1) {
    const std::string osFile = DeviceOsPath(GetModuleDirectory());
    std::error_code error;
    const bool there = std::filesystem::exists(osFile, error);
    if (!there) answer = Answer::NoDeviceOs;
    sink.Print("Device OS is not Ready!\n");
    sink.Print("Dry run: would load the device OS from " + osFile +
               (there ? "\n" : ", but there is no such file: a run would stop here\n"));
  } else if (seen.boot.stateCode == DEV_STATE_OS_RUNNING) {
    seen.info = QueryDeviceInfo(link.api(), link.device(), link.block());
    wording.OnDeviceInfo(seen.info);
    if (seen.info.received) supportedCode = seen.info.sizeCode;
    sink.Print("Device OS is already!\n");
  } else {
    sink.Print("DEVICE FATAL Error !!\n ");
    answer = Answer::Fatal;
  }
  events.OnDevice(seen, link.path(), EmulatorNumber(link));
  link.CloseDevice();
  return answer;
}

}  // namespace

int DryRun(const ConsoleSettings& settings, DeviceLink& link, RunEvents& events) {
  std::uint8_t supportedCode = kUnknownRomSizeCode;
  // as in a run: the emulator is not asked for an image that may never load
  const Answer answer =
      NamesNonRegularFile(settings.fileName) ? Answer::Usable : AskEmulator(link, events, supportedCode);
  if (answer == Answer::Fatal) return kExitStopped;

  TraceSink& sink = link.sink();
  sink.Print(" \n");
  sink.Print("FileName = " + settings.fileName + " \n ");
  ImageBuffer buffer;
  LoadedImage image;
  if (!LoadForDownload(settings, supportedCode, buffer, image, sink, events)) return kExitDownloadFailed;
  buffer.Release();

  const std::uint16_t blocks = TransferBlockCount(image.sizeCode);
  std::string capacity = ConsoleCapacityText(image.sizeCode);
  capacity.erase(0, capacity.find_first_not_of(' '));
  sink.Print(StrPrintf("Dry run: would download %u blocks of 16384 Bytes (ROM size code %u, %s), "
                       "%s, then end the download and reset the target; nothing was sent\n",
                       unsigned{blocks}, unsigned{image.sizeCode}, capacity.c_str(),
                       settings.verify ? "verify them" : "no verify"));
  events.OnPlan(image.sizeCode, blocks, settings.verify);
  return answer == Answer::NoDeviceOs ? kExitStopped : kExitOk;
}

}  // namespace kavlen::console
