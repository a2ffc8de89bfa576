#pragma once
// ukavlen --json: standard output carries one JSON object per line instead
// of the texts. The schema (its number is kJsonSchema) is described in
// doc/ukavlen.1; a test holds the two together.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "console/run_events.h"
#include "device/trace_sink.h"

namespace kavlen::console {

inline constexpr int kJsonSchema = 1;

using ClockNow = std::function<std::chrono::steady_clock::time_point()>;

// A JSON string of text, quotes included. Text that is not valid UTF-8 is
// written with each byte outside a valid sequence as the four characters
// \xNN and each backslash doubled, and *escaped is set; otherwise the text
// is kept as it is (control characters as \u escapes).
std::string JsonString(std::string_view text, bool* escaped);

// One event object, its fields in the order added.
class JsonObject {
 public:
  explicit JsonObject(const char* event);
  // A text that had to be escaped gets a field "<key>_escaped": true beside it.
  JsonObject& Text(const char* key, std::string_view value);
  JsonObject& Number(const char* key, std::uint64_t value);
  JsonObject& Flag(const char* key, bool value);
  JsonObject& Raw(const char* key, const std::string& json);
  std::string Line() const { return body_ + "}\n"; }

 private:
  std::string body_;
};

// The texts the run would print, as message events: one per line, its line
// feed included, so that the texts of all of them, joined, are the bytes the
// run prints without --json.
class JsonMessages final : public TraceSink {
 public:
  explicit JsonMessages(TraceSink& out) : out_(out) {}
  void Print(std::string_view text) override;
  // The text after the last line feed, if any.
  void Flush();

 private:
  TraceSink& out_;
  std::string pending_;
};

// The structured events. Progress is told at most 20 times a second, and
// always for the last block of a loop.
class JsonEvents final : public RunEvents {
 public:
  JsonEvents(TraceSink& out, ClockNow now) : out_(out), now_(std::move(now)) {}

  void Start();
  // readJob: the run was --read, whose status 3 means the read failed.
  void Result(int status, bool readJob);

  void OnStage(TransferStage stage, std::uint32_t blocks) override;
  void OnBlock(TransferStage stage, std::uint32_t done, std::uint32_t total) override;
  void OnBlocksEnd(TransferStage stage, const BlockRun& run) override;
  void OnDevice(const Preparation& prepared, const std::string& path, std::uint32_t number) override;
  void OnDeviceOs(bool loaded, const std::string& file, std::uint32_t length) override;
  void OnImage(const ImageFacts& image) override;
  void OnPlan(std::uint8_t sizeCode, std::uint16_t blocks, bool verify) override;
  void OnCompared(const TransferResult& result) override;

 private:
  void Progress(TransferStage stage, std::uint32_t done, std::uint32_t total);

  TraceSink& out_;
  ClockNow now_;
  std::optional<std::chrono::steady_clock::time_point> lastProgress_;
  std::uint32_t lastDone_ = 0;
  std::uint32_t total_ = 0;
  std::optional<Mismatch> mismatch_;
};

// The name of an exit status in the result event.
const char* StatusName(int status, bool readJob);

}  // namespace kavlen::console
