#include "console/json_lines.h"

#include "device/identification_text.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"
#include "kavlen_version.h"

namespace kavlen::console {

namespace {

using namespace std::chrono_literals;

constexpr auto kProgressPeriod = 50ms;  // 20 a second

// Length of the valid UTF-8 sequence at text[i], or 0.
std::size_t SequenceAt(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t point = 0;
  if (lead >= 0xC2 && lead <= 0xDF) { length = 2; point = lead & 0x1Fu; }
  else if (lead >= 0xE0 && lead <= 0xEF) { length = 3; point = lead & 0x0Fu; }
  else if (lead >= 0xF0 && lead <= 0xF4) { length = 4; point = lead & 0x07u; }
  else return 0;
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    point = (point << 6) | (byte(i + k) & 0x3Fu);
  }
  const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
  const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
  if (overlong || surrogate || point > 0x10FFFF) return 0;
  return length;
}

bool ValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = SequenceAt(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

const char* StageName(TransferStage stage) {
  switch (stage) {
    case TransferStage::Download: return "download";
    case TransferStage::Verify: return "verify";
    case TransferStage::Read: return "read";
    case TransferStage::DeviceOs: break;
  }
  return "device_os";
}

const char* BootName(const BootStatus& boot) {
  if (boot.needsOsLoad == 1) return "boot";
  if (boot.stateCode == DEV_STATE_OS_RUNNING) return "os";
  if (boot.stateCode == DEV_STATE_BOOT_ERROR) return "error";
  return "unknown";
}

const char* FormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::IntelHex: return "ihex";
    case ImageFormat::Srecord: return "srec";
    case ImageFormat::Binary: break;
  }
  return "bin";
}

std::string MismatchJson(const Mismatch& m) {
  std::string offsets = "[";
  const std::uint32_t shown = m.count < m.firstOffsets.size() ? m.count : m.firstOffsets.size();
  for (std::uint32_t i = 0; i < shown; ++i) {
    if (i != 0) offsets += ',';
    offsets += std::to_string(m.firstOffsets[i]);
  }
  return StrPrintf("{\"offset\":%u,\"expected\":%u,\"found\":%u,\"count\":%u,\"offsets\":%s]}",
                   m.offset, unsigned{m.expected}, unsigned{m.found}, m.count, offsets.c_str());
}

}  // namespace

std::string JsonString(std::string_view text, bool* escaped) {
  const bool valid = ValidUtf8(text);
  if (escaped != nullptr) *escaped = !valid;
  std::string json = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = SequenceAt(text, i);
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (length == 0) {
      json += StrPrintf("\\\\x%02X", unsigned{c});
      ++i;
      continue;
    }
    if (length > 1) {
      json.append(text.substr(i, length));
    } else if (c == '"') {
      json += "\\\"";
    } else if (c == '\\') {
      json += valid ? "\\\\" : "\\\\\\\\";
    } else if (c == '\n') {
      json += "\\n";
    } else if (c == '\r') {
      json += "\\r";
    } else if (c == '\t') {
      json += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      json += StrPrintf("\\u%04X", unsigned{c});
    } else {
      json += static_cast<char>(c);
    }
    i += length;
  }
  return json + "\"";
}

JsonObject::JsonObject(const char* event) : body_("{\"event\":") { body_ += JsonString(event, nullptr); }

JsonObject& JsonObject::Text(const char* key, std::string_view value) {
  bool escaped = false;
  Raw(key, JsonString(value, &escaped));
  if (escaped) Raw((std::string(key) + "_escaped").c_str(), "true");
  return *this;
}

JsonObject& JsonObject::Number(const char* key, std::uint64_t value) {
  return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Flag(const char* key, bool value) { return Raw(key, value ? "true" : "false"); }

JsonObject& JsonObject::Raw(const char* key, const std::string& json) {
  body_ += ',';
  body_ += JsonString(key, nullptr);
  body_ += ':';
  body_ += json;
  return *this;
}

void JsonMessages::Print(std::string_view text) {
  pending_.append(text);
  for (std::size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
    out_.Print(JsonObject("message").Text("text", std::string_view(pending_).substr(0, end + 1)).Line());
    pending_.erase(0, end + 1);
  }
}

void JsonMessages::Flush() {
  if (pending_.empty()) return;
  out_.Print(JsonObject("message").Text("text", pending_).Line());
  pending_.clear();
}

const char* StatusName(int status, bool readJob) {
  switch (status) {
    case 0: return "ok";
    case 1: return "stopped";
    case 2: return "download_failed";
    case 3: return readJob ? "read_failed" : "verify_failed";
    case 4: return "reset_failed";
    default: return "failed";
  }
}

void JsonEvents::Start() {
  out_.Print(JsonObject("start")
                 .Number("schema", kJsonSchema)
                 .Text("program", "ukavlen")
                 .Text("version", KAVLEN_VERSION)
                 .Line());
}

void JsonEvents::Result(int status, bool readJob) {
  JsonObject result("result");
  result.Number("status", static_cast<std::uint64_t>(status)).Text("name", StatusName(status, readJob));
  if (mismatch_) result.Raw("mismatch", MismatchJson(*mismatch_));
  out_.Print(result.Line());
}

void JsonEvents::Progress(TransferStage stage, std::uint32_t done, std::uint32_t total) {
  lastProgress_ = now_();
  lastDone_ = done;
  out_.Print(JsonObject("progress").Text("stage", StageName(stage)).Number("done", done).Number("total", total).Line());
}

void JsonEvents::OnStage(TransferStage stage, std::uint32_t blocks) {
  if (stage != TransferStage::DeviceOs) total_ = blocks;
}

void JsonEvents::OnBlock(TransferStage stage, std::uint32_t done, std::uint32_t total) {
  total_ = total;
  if (done == total || !lastProgress_ || now_() - *lastProgress_ >= kProgressPeriod) {
    Progress(stage, done, total);
  }
}

void JsonEvents::OnBlocksEnd(TransferStage stage, const BlockRun& run) {
  // a loop that stopped early still tells where it stopped
  if (run.blocksDone != lastDone_ && total_ != 0) Progress(stage, run.blocksDone, total_);
  lastProgress_.reset();
  lastDone_ = 0;
  total_ = 0;
}

void JsonEvents::OnDevice(const Preparation& prepared, const std::string& path, std::uint32_t number) {
  if (number == 0) return;
  JsonObject device("device");
  device.Text("path", path).Number("number", number).Text("boot", BootName(prepared.boot));
  device.Text("model", ConsoleNameText(prepared.boot.model))
      .Text("version", GuiVersionText(prepared.boot.version));
  if (prepared.info.received) {
    device.Number("os_checksum", prepared.info.checksum);
    if (IsRomSizeCode(prepared.info.sizeCode)) {
      device.Number("capacity", CapacityBytes(prepared.info.sizeCode));
    } else {
      device.Raw("capacity", "null");
    }
  } else {
    device.Raw("os_checksum", "null").Raw("capacity", "null");
  }
  out_.Print(device.Line());
}

void JsonEvents::OnDeviceOs(bool loaded, const std::string& file, std::uint32_t length) {
  out_.Print(JsonObject("device_os").Flag("loaded", loaded).Text("file", file).Number("length", length).Line());
}

void JsonEvents::OnImage(const ImageFacts& image) {
  out_.Print(JsonObject("image")
                 .Text("file", image.file)
                 .Text("format", FormatName(image.format))
                 .Number("length", image.length)
                 .Number("checksum", image.checksum)
                 .Number("base", image.base)
                 .Number("fill", image.fillCode)
                 .Line());
}

void JsonEvents::OnPlan(std::uint8_t sizeCode, std::uint16_t blocks, bool verify) {
  out_.Print(JsonObject("plan")
                 .Number("size_code", sizeCode)
                 .Number("blocks", blocks)
                 .Flag("verify", verify)
                 .Flag("reset", true)
                 .Line());
}

void JsonEvents::OnCompared(const TransferResult& result) {
  if (result.mismatch) mismatch_ = result.mismatch;
}

}  // namespace kavlen::console
