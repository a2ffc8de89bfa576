#pragma once
// What a ukavlen run reports besides its texts, for the observers that
// follow it (--json, --progress): the transfer engine's events, and the
// run's own steps around them. Every event has an empty default.

#include <cstdint>
#include <string>
#include <vector>

#include "device/image_records.h"
#include "device/transfer_engine.h"

namespace kavlen::console {

struct ImageFacts {
  std::string file;
  ImageFormat format = ImageFormat::Binary;
  std::uint32_t length = 0;
  std::uint32_t checksum = 0;
  std::uint32_t base = 0;    // address of the ROM's first byte (0 for binary images)
  std::uint8_t fillCode = 0; // -f
};

class RunEvents : public TransferObserver {
 public:
  // The preparation has ended, well or not; path and number name the
  // emulator (number 0: none was opened).
  virtual void OnDevice(const Preparation& /*prepared*/, const std::string& /*path*/,
                        std::uint32_t /*number*/) {}
  virtual void OnDeviceOs(bool /*loaded*/, const std::string& /*file*/, std::uint32_t /*length*/) {}
  virtual void OnImage(const ImageFacts& /*image*/) {}
  // --dry-run: what the download would send.
  virtual void OnPlan(std::uint8_t /*sizeCode*/, std::uint16_t /*blocks*/, bool /*verify*/) {}
  // What a comparison of the read-back found, also when it was cut short.
  virtual void OnCompared(const TransferResult& /*result*/) {}
};

// Hands each event to every observer, in the order they were added.
class EventFan final : public RunEvents {
 public:
  void Add(RunEvents& events) { all_.push_back(&events); }

  void OnBootStatus(const BootStatus& s) override { for (auto* e : all_) e->OnBootStatus(s); }
  void OnDeviceInfo(const DeviceInfo& i) override { for (auto* e : all_) e->OnDeviceInfo(i); }
  void OnStage(TransferStage s, std::uint32_t b) override { for (auto* e : all_) e->OnStage(s, b); }
  void OnBlock(TransferStage s, std::uint32_t d, std::uint32_t t) override {
    for (auto* e : all_) e->OnBlock(s, d, t);
  }
  void OnFirstMismatch(const Mismatch& m) override { for (auto* e : all_) e->OnFirstMismatch(m); }
  void OnBlocksEnd(TransferStage s, const BlockRun& r) override { for (auto* e : all_) e->OnBlocksEnd(s, r); }
  void OnDevice(const Preparation& p, const std::string& path, std::uint32_t n) override {
    for (auto* e : all_) e->OnDevice(p, path, n);
  }
  void OnDeviceOs(bool l, const std::string& f, std::uint32_t n) override {
    for (auto* e : all_) e->OnDeviceOs(l, f, n);
  }
  void OnImage(const ImageFacts& i) override { for (auto* e : all_) e->OnImage(i); }
  void OnPlan(std::uint8_t c, std::uint16_t b, bool v) override { for (auto* e : all_) e->OnPlan(c, b, v); }
  void OnCompared(const TransferResult& r) override { for (auto* e : all_) e->OnCompared(r); }

 private:
  std::vector<RunEvents*> all_;
};

}  // namespace kavlen::console
