// The text members of ZrTools and the hex text helper over arbitrary bytes and UTF-16
// text: hex text has its fixed shape and reads back as the bytes, and text turned into
// bytes and back is stable after one round.
#include <cstring>
#include <string>
#include <vector>

#include "channels/tools/hex_text.h"
#include "fuzz_check.h"
#include "fuzz_objects.h"
#include "kavlink/zr_tools.h"

using namespace kavlink;

namespace {

int hexDigit(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

std::u16string bufToStr(IZrTools* tools, const std::vector<uint8_t>& bytes) {
  BSTR s = nullptr;
  FUZZ_CHECK(tools->BufToStr(reinterpret_cast<PTRBUF>(bytes.data()), static_cast<LONG>(bytes.size()), &s) == S_OK);
  zr::com::Bstr owned = zr::com::Bstr::attach(s);
  FUZZ_CHECK((s == nullptr) == bytes.empty());
  return std::u16string(zr::com::bstrView(s));
}

std::vector<uint8_t> strToBuf(IZrTools* tools, const std::u16string& text) {
  // The member writes without a bound, as the host's buffer is trusted: room for the
  // longest narrow form of every unit.
  std::vector<uint8_t> buf(text.size() * 4 + 1, 0xAA);
  zr::com::Bstr s(text);
  LONG n = -1;
  FUZZ_CHECK(tools->StrToBuf(s.get(), reinterpret_cast<PTRBUF>(buf.data()), &n) == S_OK);
  FUZZ_CHECK(n >= 0 && static_cast<size_t>(n) < buf.size());
  buf.resize(static_cast<size_t>(n));
  return buf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  static auto tools = fuzzsupport::createObject<IZrTools>(CLSID_ZrTools);
  FUZZ_CHECK(tools);
  FuzzedDataProvider in(data, size);
  const bool asText = in.ConsumeBool();
  std::vector<uint8_t> bytes;
  if (asText) {
    bytes = strToBuf(tools.get(), fuzzsupport::consumeWide(in, 1024));
  } else {
    bytes = in.ConsumeRemainingBytes<uint8_t>();
  }

  const auto n = static_cast<int32_t>(bytes.size());
  const std::string hex = bufToHexText(bytes.data(), n);
  FUZZ_CHECK(hex.size() == (n > 0 ? static_cast<size_t>(3 * n - 1) : 0u));
  for (int32_t i = 0; i < n; ++i) {
    FUZZ_CHECK(i == 0 || hex[static_cast<size_t>(3 * i - 1)] == ' ');
    FUZZ_CHECK(hexDigit(hex[static_cast<size_t>(3 * i)]) * 16 + hexDigit(hex[static_cast<size_t>(3 * i + 1)]) ==
               bytes[static_cast<size_t>(i)]);
  }
  BSTR hexB = nullptr;
  FUZZ_CHECK(tools->BufToHexStr(reinterpret_cast<PTRBUF>(bytes.data()), n, &hexB) == S_OK);
  zr::com::Bstr hexOwned = zr::com::Bstr::attach(hexB);
  FUZZ_CHECK(zr::com::bstrView(hexB).size() == hex.size());

  const std::u16string text = bufToStr(tools.get(), bytes);
  const std::vector<uint8_t> again = strToBuf(tools.get(), text);
  FUZZ_CHECK(bufToStr(tools.get(), again) == text);
  return 0;
}
