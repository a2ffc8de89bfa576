#include "platform/ini_text.h"

#include <cstddef>
#include <utility>

namespace kavlen {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// A carriage return that ends no line is a blank too: a last line "[\r"
// must mean the same before and after a line end is added behind it.
constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

enum class LineKind { Other, Section, Entry };

struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;
  std::string_view value;
};

ParsedLine Parse(std::string_view line) {
  const std::string_view text = Trim(line);
  ParsedLine parsed;
  if (text.empty() || text.front() == ';') return parsed;
  if (text.front() == '[') {
    const std::size_t close = text.find(']');
    parsed.kind = LineKind::Section;
    parsed.name = Trim(text.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    return parsed;
  }
  const std::size_t equals = text.find('=');
  parsed.kind = LineKind::Entry;
  parsed.name = Trim(text.substr(0, equals));
  if (equals != std::string_view::npos) parsed.value = Trim(text.substr(equals + 1));
  return parsed;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

}  // namespace

IniText::IniText(std::string_view text) {
  if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) {
    mark_ = kUtf8Mark;
    text.remove_prefix(kUtf8Mark.size());
  }
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    Line line;
    if (end == std::string_view::npos) {
      line.text = text.substr(start);
      end = text.size();
    } else if (end > start && text[end - 1] == '\r') {
      line.text = text.substr(start, end - 1 - start);
      line.end = "\r\n";
    } else {
      line.text = text.substr(start, end - start);
      line.end = "\n";
    }
    if (lines_.empty() && !line.end.empty()) eol_ = line.end;
    lines_.push_back(std::move(line));
    start = end + 1;
  }
}

std::size_t IniText::FindSection(std::string_view section) const {
  section = Trim(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == LineKind::Section && SameName(parsed.name, section)) return i;
  }
  return lines_.size();
}

std::size_t IniText::SectionEnd(std::size_t header) const {
  std::size_t i = header + 1;
  while (i < lines_.size() && Parse(lines_[i].text).kind != LineKind::Section) ++i;
  return i;
}

std::size_t IniText::FindKey(std::size_t header, std::string_view key) const {
  key = Trim(key);
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == LineKind::Entry && SameName(parsed.name, key)) return i;
  }
  return lines_.size();
}

void IniText::Insert(std::size_t at, std::string text) {
  // A last line without an end gets one before anything follows it.
  if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty()) lines_.back().end = eol_;
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), eol_});
}

std::optional<std::string> IniText::Find(std::string_view section, std::string_view key) const {
  const std::size_t header = FindSection(section);
  if (header == lines_.size()) return std::nullopt;
  const std::size_t line = FindKey(header, key);
  if (line == lines_.size()) return std::nullopt;
  return Unquote(Parse(lines_[line].text).value);
}

std::vector<std::string> IniText::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    const ParsedLine parsed = Parse(line.text);
    if (parsed.kind == LineKind::Section) names.emplace_back(parsed.name);
  }
  return names;
}

std::vector<std::string> IniText::KeyNames(std::string_view section) const {
  std::vector<std::string> names;
  const std::size_t header = FindSection(section);
  if (header == lines_.size()) return names;
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    const ParsedLine parsed = Parse(lines_[i].text);
    if (parsed.kind == LineKind::Entry) names.emplace_back(parsed.name);
  }
  return names;
}

void IniText::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  const std::size_t header = FindSection(section);
  if (header == lines_.size()) {
    Insert(lines_.size(), "[" + std::string(section) + "]");
    Insert(lines_.size(), std::string(key) + "=" + std::string(value));
    return;
  }
  const std::size_t line = FindKey(header, key);
  if (line != lines_.size()) {
    // The key keeps the spelling the file gave it.
    lines_[line].text = std::string(Parse(lines_[line].text).name) + "=" + std::string(value);
    return;
  }
  std::size_t after = header + 1;
  const std::size_t end = SectionEnd(header);
  for (std::size_t i = header + 1; i < end; ++i) {
    if (Parse(lines_[i].text).kind == LineKind::Entry) after = i + 1;
  }
  Insert(after, std::string(key) + "=" + std::string(value));
}

void IniText::RemoveKey(std::string_view section, std::string_view key) {
  const std::size_t header = FindSection(section);
  if (header == lines_.size()) return;
  const std::size_t line = FindKey(header, key);
  if (line != lines_.size()) lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(line));
}

void IniText::RemoveSection(std::string_view section) {
  const std::size_t header = FindSection(section);
  if (header == lines_.size()) return;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(header),
               lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(header)));
}

std::string IniText::Text() const {
  std::string text = mark_;
  for (const Line& line : lines_) {
    text += line.text;
    text += line.end;
  }
  return text;
}

}  // namespace kavlen
