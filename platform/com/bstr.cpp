// BSTR: a 4-byte byte count, the UTF-16 text, and a zero character after it. The
// pointer handed out points at the text.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "com/com.h"
#include "text/ansi.h"

namespace {

constexpr size_t kHeader = sizeof(uint32_t);

BSTR allocBytes(const void* data, size_t byteLen) {
  if (byteLen > std::numeric_limits<uint32_t>::max() - kHeader - 2 * sizeof(OLECHAR)) return nullptr;
  // Room for the header, the text and a terminator of one full character (plus one more
  // byte when the length is odd, so the terminator stays aligned).
  size_t total = kHeader + byteLen + 2 * sizeof(OLECHAR);
  auto* block = static_cast<unsigned char*>(std::malloc(total));
  if (!block) return nullptr;
  uint32_t len32 = static_cast<uint32_t>(byteLen);
  std::memcpy(block, &len32, kHeader);
  unsigned char* text = block + kHeader;
  if (data) {
    std::memcpy(text, data, byteLen);
  } else {
    std::memset(text, 0, byteLen);
  }
  std::memset(text + byteLen, 0, 2 * sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(text);
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  size_t n = std::char_traits<char16_t>::length(text);
  return allocBytes(text, n * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  return allocBytes(text, static_cast<size_t>(length) * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* bytes, UINT length) { return allocBytes(bytes, length); }

void SysFreeString(BSTR s) {
  if (s) std::free(reinterpret_cast<unsigned char*>(s) - kHeader);
}

UINT SysStringByteLen(BSTR s) {
  if (!s) return 0;
  uint32_t len;
  std::memcpy(&len, reinterpret_cast<unsigned char*>(s) - kHeader, kHeader);
  return len;
}

UINT SysStringLen(BSTR s) { return SysStringByteLen(s) / sizeof(OLECHAR); }

int SysReAllocStringLen(BSTR* s, const OLECHAR* text, UINT length) {
  if (!s) return FALSE;
  BSTR n = SysAllocStringLen(text, length);
  if (!n) return FALSE;
  SysFreeString(*s);
  *s = n;
  return TRUE;
}

namespace zr::com {
BSTR allocBstr(std::u16string_view text) { return allocBytes(text.data(), text.size() * sizeof(OLECHAR)); }

BSTR narrowBstr(std::string_view narrow) { return allocBstr(zr::text::ansiToWide(narrow)); }
}  // namespace zr::com
