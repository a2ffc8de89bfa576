#pragma once
// One attached emulator behind a kv_emulator handle: the device lock held
// for the handle's life, the emulator pinned by its interface path, and
// each call one job of the transfer engine that leaves nothing open.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "device/rom_capacity.h"
#include "device/transfer_engine.h"
#include "include/kavlen/kavlen.h"
#include "lib/library_image.h"
#include "lib/library_log.h"

namespace kavlen::lib {

kv_status StatusOf(TransferStatus status);

struct Progress {
  kv_progress callback = nullptr;
  void* user = nullptr;
};

// The attached emulators as kv_list describes them; opens nothing that
// another program holds.
std::vector<kv_device_info> SurveyEmulators(DriverApi& api, TraceSink& sink);

class Emulator {
 public:
  Emulator(DriverApi& api, TraceSink& sink) : link_(api, sink, Flavour::Console) {}
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;
  ~Emulator();

  kv_status Open(const char* selector, std::chrono::milliseconds lockWait);
  kv_status Prepare(const std::string& deviceOsPath, kv_device_info* out);
  kv_status Download(const kv_image& image, bool verify, Progress progress);
  kv_status Verify(const kv_image& image, Progress progress);
  kv_status Read(std::uint8_t* dest, std::size_t length, Progress progress);
  kv_status ResetTarget();
  void Cancel() { cancel_.store(true); }

  const std::string& error() const { return error_; }
  std::string& errorText() { return error_; }
  const std::optional<Mismatch>& mismatch() const { return mismatch_; }

 private:
  kv_status Fail(kv_status status, std::string message);
  // Points the link at this handle's emulator once more: the enumeration
  // may have changed since the last call.
  kv_status Select();
  kv_status Begin();
  kv_status Finish(const TransferResult& result, std::uint16_t blocks);

  DeviceLink link_;
  DeviceLock lock_;
  bool claimed_ = false;  // path_ is this process's to use
  std::string path_;
  std::uint32_t number_ = 0;
  bool prepared_ = false;
  std::uint8_t supportedCode_ = kUnknownRomSizeCode;
  CancelFlag cancel_{false};
  std::string error_;
  std::optional<Mismatch> mismatch_;
};

}  // namespace kavlen::lib
