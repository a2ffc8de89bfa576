#pragma once
// The text of an INI file as lines: lookups and edits that keep every other
// line (comments, blank lines, other sections and keys, their order and their
// bytes, line ends included) as it was.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavlen {

class IniText {
 public:
  explicit IniText(std::string_view text);

  // Section and key names are matched without regard to case or to blanks
  // around them, in the file and in the arguments alike.

  // The value of key in the first section named section, trimmed, with one
  // pair of enclosing quotes removed; nullopt when missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::vector<std::string> SectionNames() const;
  std::vector<std::string> KeyNames(std::string_view section) const;

  // Replaces the key's line in place, or adds it after the section's last
  // key, or adds the section at the end. Names are written trimmed.
  void Set(std::string_view section, std::string_view key, std::string_view value);
  void RemoveKey(std::string_view section, std::string_view key);
  void RemoveSection(std::string_view section);

  // Untouched lines as they were read; new lines end the way the file ended
  // its first line ("\n" when it had none).
  std::string Text() const;

 private:
  struct Line {
    std::string text;  // without its end
    std::string end;   // "\n", "\r\n", or "" for a last line without one
  };

  // Index of the section's header line, or lines_.size() when missing.
  std::size_t FindSection(std::string_view section) const;
  // One past the section's last line: the next header or the end.
  std::size_t SectionEnd(std::size_t header) const;
  std::size_t FindKey(std::size_t header, std::string_view key) const;
  void Insert(std::size_t at, std::string text);

  std::string mark_;  // a UTF-8 byte order mark before the first line
  std::vector<Line> lines_;
  std::string eol_ = "\n";
};

}  // namespace kavlen
