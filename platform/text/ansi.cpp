#include "text/ansi.h"

#include <iconv.h>

#include <cerrno>

namespace zr::text {

std::u16string ansiToWide(std::string_view narrow) { return utf8ToWide(narrow); }

std::string wideToAnsi(std::u16string_view wide) { return wideToUtf8(wide); }

namespace {

// The code point of the UTF-8 sequence at s[i] and its length; nothing when the bytes
// there are not UTF-8 (truncated, overlong, a surrogate, beyond U+10FFFF).
struct Decoded {
  char32_t cp;
  size_t len;
  bool valid;
};

Decoded decodeAt(std::string_view s, size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return {c, 1, true};
  size_t len = 0;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
  }
  if (len == 0 || i + len > s.size()) return {0xFFFD, 1, false};
  char32_t cp = c & (0x3F >> (len - 1));
  for (size_t k = 1; k < len; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return {0xFFFD, 1, false};
    cp = (cp << 6) | (cc & 0x3F);
  }
  static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return {0xFFFD, 1, false};
  return {cp, len, true};
}

}  // namespace

std::u16string utf8ToWide(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const Decoded d = decodeAt(s, i);
    if (d.cp >= 0x10000) {
      const char32_t v = d.cp - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(d.cp));
    }
    i += d.len;
  }
  return out;
}

bool isUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const Decoded d = decodeAt(bytes, i);
    if (!d.valid) return false;
    i += d.len;
  }
  return true;
}

std::string wideToUtf8(std::u16string_view w) {
  std::string out;
  for (size_t i = 0; i < w.size(); ++i) {
    char32_t cp = w[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

namespace {

std::string gb18030ToUtf8(iconv_t cd, std::string_view bytes) {
  std::string out;
  std::string in(bytes);
  char* src = in.data();
  size_t srcLeft = in.size();
  char buf[4096];
  while (srcLeft > 0) {
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      // A byte that starts no GB18030 character: mark it and go on behind it.
      out += "\xEF\xBF\xBD";
      ++src;
      --srcLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace

std::string textFileToUtf8(std::string_view bytes) {
  if (isUtf8(bytes)) return std::string(bytes);
  // Line by line: a line that is UTF-8 already (one this program added) stays as it is.
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  while (!bytes.empty()) {
    const size_t eol = bytes.find('\n');
    const std::string_view line = bytes.substr(0, eol == std::string_view::npos ? bytes.size() : eol + 1);
    bytes.remove_prefix(line.size());
    if (isUtf8(line)) {
      out += line;
    } else if (cd != reinterpret_cast<iconv_t>(-1)) {
      out += gb18030ToUtf8(cd, line);
    } else {
      out += wideToUtf8(utf8ToWide(line));
    }
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  return out;
}

}  // namespace zr::text
