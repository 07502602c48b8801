// The text of one INI file, looked up and edited in memory. Edits touch only the lines
// they concern; every other byte (comments, blank lines, line ends, a byte-order mark,
// odd lines) is kept as it was.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr::profile::detail {

// The blanks around names and values: a profile keeps every other character.
inline constexpr std::string_view kBlanks = " \t";

bool equalsNoCase(std::string_view a, std::string_view b);

class IniText {
 public:
  explicit IniText(std::string bytes);

  const std::string& bytes() const { return text_; }

  // The value of the first matching key of the first matching section holding it, with
  // blanks and one pair of enclosing quotes removed.
  std::optional<std::string> find(std::string_view section, std::string_view key) const;

  void set(std::string_view section, std::string_view key, std::string_view value);

 private:
  enum class Kind { Other, Blank, Section, Key };
  struct Line {
    size_t begin;  // first byte of the line
    size_t end;    // end of its content (before CR LF, LF or CR)
    size_t next;   // first byte of the following line
    Kind kind;
    size_t nameBegin, nameEnd;    // section or key name, blanks removed
    size_t valueBegin, valueEnd;  // value of a key line, blanks removed
  };

  void parse();
  std::string_view slice(size_t from, size_t to) const { return std::string_view(text_).substr(from, to - from); }
  bool sectionIs(const Line& l, std::string_view section) const;
  // Index of the key's line, or npos.
  size_t findKeyLine(std::string_view section, std::string_view key) const;

  std::string text_;
  std::vector<Line> lines_;
  std::string eol_ = "\n";  // the first line's line end, which added lines get too
};

}  // namespace zr::profile::detail
