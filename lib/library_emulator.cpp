#include "lib/library_emulator.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "device/device_os.h"
#include "device/identification_text.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"
#include "platform/system.h"

namespace kavlen::lib {

namespace {

constexpr std::uint32_t kBlockBytes = 16384;

class ProgressWording final : public TransferObserver {
 public:
  explicit ProgressWording(Progress progress) : progress_(progress) {}
  void OnStage(TransferStage stage, std::uint32_t blocks) override { Tell(stage, 0, blocks); }
  void OnBlock(TransferStage stage, std::uint32_t done, std::uint32_t total) override {
    Tell(stage, done, total);
  }

 private:
  void Tell(TransferStage stage, std::uint32_t done, std::uint32_t total) {
    if (progress_.callback == nullptr || stage == TransferStage::DeviceOs) return;
    const kv_stage named = stage == TransferStage::Download ? KV_STAGE_DOWNLOAD
                           : stage == TransferStage::Verify ? KV_STAGE_VERIFY
                                                            : KV_STAGE_READ;
    progress_.callback(named, done, total, progress_.user);
  }
  Progress progress_;
};

void CopyText(char* dest, std::size_t size, const std::string& text) {
  const std::size_t n = std::min(text.size(), size - 1);
  std::memcpy(dest, text.data(), n);
  dest[n] = '\0';
}

kv_device_info Described(std::uint32_t number, const std::string& path) {
  kv_device_info info{};
  info.number = static_cast<int>(number);
  CopyText(info.path, sizeof info.path, path);
  return info;
}

void Identify(kv_device_info& out, const BootStatus& boot, const DeviceInfo& info) {
  out.model = boot.model;
  CopyText(out.version, sizeof out.version, GuiVersionText(boot.version));
  if (info.received) {
    out.os_checksum = info.checksum;
    out.capacity = CapacityBytes(info.sizeCode);
  }
}

std::string FaultText(const TransferResult& result, std::uint16_t blocks) {
  switch (result.fault) {
    case TransferFault::OpenFailed: return "the emulator cannot be opened";
    case TransferFault::NotReady: return "the emulator did not get ready for the download";
    case TransferFault::PipeFailed: return "the emulator's bulk pipe cannot be opened";
    case TransferFault::BlockFailed:
      return StrPrintf("transfer block %u of %u failed", result.blocks.blocksDone + 1, unsigned{blocks});
    case TransferFault::NoMemory: return "no memory for the read-back";
    case TransferFault::Cancelled:
      return StrPrintf("cancelled after %u of %u blocks", result.blocks.blocksDone, unsigned{blocks});
    case TransferFault::Mismatch: {
      const Mismatch& d = *result.mismatch;
      return StrPrintf("verify failed at 0x%X: image 0x%02X, emulator 0x%02X; differing bytes: %u", d.offset,
                       unsigned{d.expected}, unsigned{d.found}, d.count);
    }
    case TransferFault::ReopenFailed: return "the emulator cannot be opened again after the read-back";
    default: return "the transfer failed";
  }
}

std::string PrepareFaultText(const Preparation& prepared, const std::string& osPath) {
  switch (prepared.fault) {
    case TransferFault::OpenFailed: return "the emulator cannot be opened";
    case TransferFault::BootError:
      return StrPrintf("the boot code reports an error (boot status 0x%02X)", unsigned{prepared.boot.reply0});
    case TransferFault::OsFileMissing: return "device OS file " + osPath + " not found";
    case TransferFault::OsFileUnreadable: return "device OS file " + osPath + " cannot be read";
    case TransferFault::OsFileEmpty: return "device OS file " + osPath + " is empty";
    case TransferFault::OsNotStarted: return "the device OS was loaded but does not run";
    default: return "the device is not ready";
  }
}

// The emulators this process holds. The device lock keeps programs apart,
// but a Windows mutex lets its owning thread in again: two handles of one
// process on one emulator are kept apart here, alike on every system.
std::mutex heldMutex;
std::set<std::string> heldPaths;

bool ClaimPath(const std::string& path, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    {
      const std::lock_guard<std::mutex> hold(heldMutex);
      if (heldPaths.insert(path).second) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void ReleasePath(const std::string& path) {
  const std::lock_guard<std::mutex> hold(heldMutex);
  heldPaths.erase(path);
}

}  // namespace

kv_status StatusOf(TransferStatus status) {
  switch (status) {
    case TransferStatus::Ok: return KV_OK;
    case TransferStatus::PrepareFailed: return KV_PREPARE_FAILED;
    case TransferStatus::DownloadFailed: return KV_DOWNLOAD_FAILED;
    case TransferStatus::VerifyFailed: return KV_VERIFY_FAILED;
    case TransferStatus::ResetFailed: return KV_RESET_FAILED;
    case TransferStatus::NoDevice: return KV_NO_DEVICE;
    case TransferStatus::Busy: return KV_BUSY;
    case TransferStatus::Cancelled: return KV_CANCELLED;
  }
  return KV_BAD_ARGUMENT;
}

std::vector<kv_device_info> SurveyEmulators(DriverApi& api, TraceSink& sink) {
  DeviceLink link(api, sink, Flavour::Console);
  const std::vector<std::string> paths = link.EmulatorPaths();
  std::vector<kv_device_info> found;
  for (std::uint32_t number = 1; number <= paths.size(); ++number) {
    kv_device_info info = Described(number, paths[number - 1]);
    link.SelectEmulator(number);
    const DeviceLock hold = link.HoldDevice(std::chrono::milliseconds(0));
    if (hold.busy()) {
      info.state = KV_STATE_IN_USE;
    } else if (link.OpenDevice() == kInvalidHandle) {
      info.state = KV_STATE_UNOPENABLE;
    } else {
      const BootStatus boot = QueryBootStatus(link.api(), link.device(), link.block());
      DeviceInfo device{};
      if (boot.needsOsLoad == 1) {
        info.state = KV_STATE_BOOT_CODE;
      } else if (boot.stateCode == DEV_STATE_OS_RUNNING) {
        info.state = KV_STATE_OS_RUNNING;
        device = QueryDeviceInfo(link.api(), link.device(), link.block());
      } else {
        info.state = KV_STATE_BOOT_ERROR;
      }
      Identify(info, boot, device);
      link.CloseDevice();
    }
    found.push_back(info);
  }
  return found;
}

kv_status Emulator::Fail(kv_status status, std::string message) {
  error_ = std::move(message);
  return status;
}

kv_status Emulator::Open(const char* selector, std::chrono::milliseconds lockWait) {
  const std::vector<std::string> paths = link_.EmulatorPaths();
  if (paths.empty()) return Fail(KV_NO_DEVICE, "no emulator attached");
  std::uint32_t number = static_cast<std::uint32_t>(paths.size());  // the last one, as ukavlen
  if (selector != nullptr && *selector != '\0' &&
      std::all_of(selector, selector + std::strlen(selector), [](char c) { return c >= '0' && c <= '9'; })) {
    const unsigned long asked = std::strtoul(selector, nullptr, 10);
    if (asked == 0 || asked > paths.size()) {
      return Fail(KV_NO_DEVICE, StrPrintf("there is no emulator number %s: %u attached", selector,
                                          static_cast<unsigned>(paths.size())));
    }
    number = static_cast<std::uint32_t>(asked);
  } else if (selector != nullptr) {
    const auto at = std::find(paths.begin(), paths.end(), selector);
    if (at == paths.end()) return Fail(KV_NO_DEVICE, std::string("no emulator at ") + selector);
    number = static_cast<std::uint32_t>(at - paths.begin()) + 1;
  }
  path_ = paths[number - 1];
  number_ = number;
  link_.SelectEmulator(number);
  const auto started = std::chrono::steady_clock::now();
  claimed_ = ClaimPath(path_, lockWait);
  if (claimed_) {
    const auto left = lockWait - std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - started);
    lock_ = link_.HoldDevice(std::max(left, std::chrono::milliseconds(0)));
  }
  if (!claimed_ || lock_.busy()) {
    return Fail(KV_BUSY, StrPrintf("%s is in use by another program (waited %u ms)", path_.c_str(),
                                   static_cast<unsigned>(lockWait.count())));
  }
  return KV_OK;
}

Emulator::~Emulator() {
  lock_.Release();
  if (claimed_) ReleasePath(path_);
}

kv_status Emulator::Select() {
  const std::vector<std::string> paths = link_.EmulatorPaths();
  const auto at = std::find(paths.begin(), paths.end(), path_);
  if (at == paths.end()) return Fail(KV_NO_DEVICE, path_ + " is no longer attached");
  number_ = static_cast<std::uint32_t>(at - paths.begin()) + 1;
  link_.SelectEmulator(number_);
  return KV_OK;
}

kv_status Emulator::Begin() {
  error_.clear();
  mismatch_.reset();
  return Select();
}

kv_status Emulator::Prepare(const std::string& deviceOsPath, kv_device_info* out) {
  if (const kv_status selected = Begin(); selected != KV_OK) return selected;
  TransferObserver quiet;
  const std::string osPath = deviceOsPath.empty() ? DeviceOsPath(GetModuleDirectory()) : deviceOsPath;
  const Preparation prepared = TransferEngine(link_, quiet).Prepare(osPath);
  link_.CloseDevice();
  if (prepared.status != TransferStatus::Ok) {
    return Fail(StatusOf(prepared.status), PrepareFaultText(prepared, osPath));
  }
  prepared_ = true;
  if (prepared.info.received) supportedCode_ = prepared.info.sizeCode;
  if (out != nullptr) {
    *out = Described(number_, path_);
    out->state = KV_STATE_OS_RUNNING;
    out->os_loaded = prepared.osLoaded ? 1 : 0;
    Identify(*out, prepared.boot, prepared.info);
  }
  return KV_OK;
}

kv_status Emulator::Finish(const TransferResult& result, std::uint16_t blocks) {
  link_.CloseDevice();
  cancel_.store(false);
  mismatch_ = result.mismatch;
  if (result.status == TransferStatus::Ok) return KV_OK;
  return Fail(StatusOf(result.status), FaultText(result, blocks));
}

// A cancel counts for the call under way (its device OS load included),
// never for a later one: each transfer call starts with the flag down.
kv_status Emulator::Download(const kv_image& image, bool verify, Progress progress) {
  cancel_.store(false);
  if (!prepared_) {
    if (const kv_status status = Prepare({}, nullptr); status != KV_OK) return status;
  }
  if (const kv_status selected = Begin(); selected != KV_OK) return selected;
  if (!FitsCapacity(image.length, supportedCode_)) {
    return Fail(KV_DOWNLOAD_FAILED, StrPrintf("the image's %u bytes exceed the emulator's %u", image.length,
                                              CapacityBytes(supportedCode_)));
  }
  ProgressWording wording(progress);
  const std::uint16_t blocks = TransferBlockCount(image.sizeCode);
  const TransferResult sent = TransferEngine(link_, wording, &cancel_).Download(image.bytes.data(), blocks);
  if (sent.status != TransferStatus::Ok || !verify) return Finish(sent, blocks);
  return Finish(TransferEngine(link_, wording, &cancel_).Verify(image.bytes.data(), blocks), blocks);
}

kv_status Emulator::Verify(const kv_image& image, Progress progress) {
  cancel_.store(false);
  if (const kv_status selected = Begin(); selected != KV_OK) return selected;
  ProgressWording wording(progress);
  const std::uint16_t blocks = TransferBlockCount(image.sizeCode);
  return Finish(TransferEngine(link_, wording, &cancel_).Verify(image.bytes.data(), blocks), blocks);
}

kv_status Emulator::Read(std::uint8_t* dest, std::size_t length, Progress progress) {
  cancel_.store(false);
  if (length > kImageBufferSize) {
    return Fail(KV_BAD_ARGUMENT, std::to_string(length) + StrPrintf(" bytes: at most %u can be read", kImageBufferSize));
  }
  if (const kv_status selected = Begin(); selected != KV_OK) return selected;
  // whole blocks of the smallest ROM size that holds the length, as a download sends
  const std::uint16_t blocks = TransferBlockCount(ImageSizeCode(static_cast<std::uint32_t>(length)));
  std::vector<std::uint8_t> read(std::size_t{blocks} * kBlockBytes);
  ProgressWording wording(progress);
  const TransferResult result = TransferEngine(link_, wording, &cancel_).Read(read.data(), blocks);
  if (result.status == TransferStatus::Ok) std::copy_n(read.begin(), length, dest);
  return Finish(result, blocks);
}

kv_status Emulator::ResetTarget() {
  if (const kv_status selected = Begin(); selected != KV_OK) return selected;
  TransferObserver quiet;
  const ResetResult reset = TransferEngine(link_, quiet).EndAndReset(kResetPollLimit);
  link_.CloseDevice();
  if (reset.status == TransferStatus::Ok) return KV_OK;
  if (reset.status == TransferStatus::NoDevice) return Fail(KV_NO_DEVICE, "the emulator cannot be opened");
  if (!reset.endSent) return Fail(KV_RESET_FAILED, "the end of the download did not reach the emulator");
  if (!reset.resetSent) return Fail(KV_RESET_FAILED, "the target reset did not reach the emulator");
  return Fail(KV_RESET_FAILED, "the emulator did not report the target reset done");
}

}  // namespace kavlen::lib
