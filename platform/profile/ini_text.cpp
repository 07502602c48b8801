#include "profile/ini_text.h"

#include "text/trim.h"

namespace zr::profile::detail {
namespace {

constexpr size_t npos = std::string::npos;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) { return kBlanks.find(c) != std::string_view::npos; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

IniText::IniText(std::string bytes) : text_(std::move(bytes)) { parse(); }

void IniText::parse() {
  lines_.clear();
  bool eolKnown = false;
  size_t pos = 0;
  while (pos < text_.size()) {
    // CR LF, LF and a lone CR all end a line, so that a file edited elsewhere with
    // another convention still reads line by line.
    size_t brk = text_.find_first_of("\r\n", pos);
    Line l{};
    l.begin = pos;
    l.end = brk == npos ? text_.size() : brk;
    l.next = l.end;
    if (brk != npos) {
      l.next = brk + 1;
      if (text_[brk] == '\r' && l.next < text_.size() && text_[l.next] == '\n') ++l.next;
      if (!eolKnown) {
        eol_ = text_.substr(brk, l.next - brk);
        eolKnown = true;
      }
    }
    size_t s = l.begin;
    if (s == 0 && text_.compare(0, 3, kBom) == 0) s = 3;
    while (s < l.end && isBlank(text_[s])) ++s;

    auto trimmed = [this](size_t from, size_t to, size_t& outBegin, size_t& outEnd) {
      const std::string_view t = zr::text::trim(std::string_view(text_).substr(from, to - from), kBlanks);
      outBegin = static_cast<size_t>(t.data() - text_.data());
      outEnd = outBegin + t.size();
    };

    if (s == l.end) {
      l.kind = Kind::Blank;
    } else if (text_[s] == '[') {
      size_t close = text_.find(']', s + 1);
      if (close == npos || close > l.end) close = l.end;
      trimmed(s + 1, close, l.nameBegin, l.nameEnd);
      l.kind = Kind::Section;
    } else if (text_[s] != ';') {
      size_t eq = text_.find('=', s);
      if (eq != npos && eq < l.end) {
        trimmed(s, eq, l.nameBegin, l.nameEnd);
        trimmed(eq + 1, l.end, l.valueBegin, l.valueEnd);
        if (l.nameEnd > l.nameBegin) l.kind = Kind::Key;
      }
    }
    lines_.push_back(l);
    pos = l.next;
  }
}

bool IniText::sectionIs(const Line& l, std::string_view section) const {
  return l.kind == Kind::Section && equalsNoCase(slice(l.nameBegin, l.nameEnd), section);
}

size_t IniText::findKeyLine(std::string_view section, std::string_view key) const {
  bool inSection = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    if (l.kind == Kind::Section) {
      inSection = sectionIs(l, section);
    } else if (inSection && l.kind == Kind::Key && equalsNoCase(slice(l.nameBegin, l.nameEnd), key)) {
      return i;
    }
  }
  return npos;
}

std::optional<std::string> IniText::find(std::string_view section, std::string_view key) const {
  size_t i = findKeyLine(section, key);
  if (i == npos) return std::nullopt;
  std::string_view v = slice(lines_[i].valueBegin, lines_[i].valueEnd);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v);
}

void IniText::set(std::string_view section, std::string_view key, std::string_view value) {
  if (size_t i = findKeyLine(section, key); i != npos) {
    const Line& l = lines_[i];
    // Keep the line's own spelling of the key and its spacing around '='.
    size_t from = l.valueBegin;
    if (from == l.valueEnd) from = l.end;
    text_.replace(from, l.end - from, value);
    parse();
    return;
  }
  std::string entry = std::string(key) + "=" + std::string(value);

  for (size_t i = 0; i < lines_.size(); ++i) {
    if (!sectionIs(lines_[i], section)) continue;
    size_t last = i;
    for (size_t j = i + 1; j < lines_.size() && lines_[j].kind != Kind::Section; ++j) {
      if (lines_[j].kind != Kind::Blank) last = j;
    }
    const Line& l = lines_[last];
    if (l.next == l.end) {
      // The file ends on this line without a line end: keep it that way.
      text_.insert(l.next, eol_ + entry);
    } else {
      text_.insert(l.next, entry + eol_);
    }
    parse();
    return;
  }

  std::string tail;
  if (!text_.empty()) {
    if (lines_.back().next == lines_.back().end) tail += eol_;
    if (lines_.back().kind != Kind::Blank) tail += eol_;
  }
  tail += "[" + std::string(section) + "]" + eol_ + entry + eol_;
  text_ += tail;
  parse();
}

}  // namespace zr::profile::detail
