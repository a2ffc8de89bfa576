// The INI text layer on any file text and any edit. Properties:
// - reading a text and writing it back gives the same bytes, so re-parsing
//   what an edit wrote is idempotent;
// - an edit keeps every line it does not change, byte for byte, and changes
//   only the lines it is about (a last line without an end may gain one when
//   a line is added after it);
// - a value set under names the file can hold reads back as it was set.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ini_text.h"
#include "tests/fuzz/fuzz_require.h"

namespace {

// Lines with their ends, as the file holds them, after the byte order mark
// (which stays at the start of the file whatever the first line becomes).
std::vector<std::string> Lines(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.emplace_back(text.substr(0, length));
    text.remove_prefix(length);
  }
  return lines;
}

bool SameLine(const std::string& kept, const std::string& original, bool last) {
  if (kept == original) return true;
  // The last line may have gained an end.
  return last && original.back() != '\n' && kept.compare(0, original.size(), original) == 0 &&
         (kept.size() == original.size() + 1 || kept.size() == original.size() + 2);
}

// The lines an edit changed: what is left of each text between the lines
// the two have in common at the start and at the end.
struct Changed {
  std::size_t before;
  std::size_t after;
};
Changed ChangedLines(const std::vector<std::string>& before, const std::vector<std::string>& after) {
  std::size_t head = 0;
  while (head < before.size() && head < after.size() && SameLine(after[head], before[head], head + 1 == before.size())) {
    ++head;
  }
  std::size_t tail = 0;
  while (tail < before.size() - head && tail < after.size() - head &&
         SameLine(after[after.size() - 1 - tail], before[before.size() - 1 - tail], tail == 0)) {
    ++tail;
  }
  return {before.size() - head - tail, after.size() - head - tail};
}

bool Blank(char c) { return c == ' ' || c == '\t'; }

// Names and values that the profile calls would write (they refuse the rest).
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
  for (std::string_view text : {section, key, value}) {
    if (text.find_first_of("\r\n") != std::string_view::npos) return false;
  }
  if (section.find(']') != std::string_view::npos || key.find('=') != std::string_view::npos) return false;
  const std::size_t first = key.find_first_not_of(" \t");
  return first != std::string_view::npos && key[first] != '[' && key[first] != ';';
}

// A value that reads back unchanged: nothing trimmed, no quotes taken off.
bool ReadsBackAsIs(std::string_view value) {
  if (value.empty()) return true;
  return !Blank(value.front()) && !Blank(value.back()) && value.front() != '"' && value.front() != '\'';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const int edit = input.ConsumeIntegralInRange(0, 2);
  const std::string section = input.ConsumeRandomLengthString(24);
  const std::string key = input.ConsumeRandomLengthString(24);
  const std::string value = input.ConsumeRandomLengthString(40);
  const std::string text = input.ConsumeRemainingBytesAsString();

  kavlen::IniText ini(text);
  FUZZ_REQUIRE(ini.Text() == text);
  ini.SectionNames();
  ini.KeyNames(section);
  ini.Find(section, key);

  const std::vector<std::string> before = Lines(text);
  if (edit == 0 && Writable(section, key, value)) {
    ini.Set(section, key, value);
    const std::string written = ini.Text();
    const Changed changed = ChangedLines(before, Lines(written));
    FUZZ_REQUIRE(changed.before <= 1 && changed.after <= 2);  // one line replaced, or a key (and its section) added
    FUZZ_REQUIRE(kavlen::IniText(written).Text() == written);
    if (ReadsBackAsIs(value)) FUZZ_REQUIRE(kavlen::IniText(written).Find(section, key) == value);
  } else if (edit == 1) {
    ini.RemoveKey(section, key);
    const Changed changed = ChangedLines(before, Lines(ini.Text()));
    FUZZ_REQUIRE(changed.before <= 1 && changed.after == 0);
  } else if (edit == 2) {
    ini.RemoveSection(section);
    FUZZ_REQUIRE(ChangedLines(before, Lines(ini.Text())).after == 0);
  }
  return 0;
}
