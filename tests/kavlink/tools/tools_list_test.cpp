#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "channels/list/zr_list.h"
#include "channels/tools/hex_text.h"
#include "channels/tools/zr_tools.h"
#include "com/com_ptr.h"
#include "dlt645/frame645.h"

using namespace zr::com;
using namespace kavlink;

namespace {
ComPtr<IZrTools> newTools() {
  ComPtr<IZrTools> t;
  EXPECT_EQ(CZrTools::createInstance(nullptr, IZrTools::iid, t.putVoid()), S_OK);
  return t;
}
}  // namespace

TEST(HexText, Lengths) {
  std::vector<uint8_t> bytes(2000, 0x5C);
  bytes[0] = 0x01;
  bytes[1] = 0xAB;
  EXPECT_EQ(bufToHexText(bytes.data(), 2), "01 AB");
  uint8_t lf = 0x0A;
  EXPECT_EQ(bufToHexText(&lf, 1), "0A");
  EXPECT_EQ(bufToHexText(bytes.data(), 0), "");
  EXPECT_EQ(bufToHexText(bytes.data(), -5), "");
  for (int n : {682, 683, 2000}) EXPECT_EQ(bufToHexText(bytes.data(), n).size(), static_cast<size_t>(3 * n - 1));
  EXPECT_EQ(BufToHexBstr(bytes.data(), 0), nullptr);
}

TEST(Tools, BufToHexStrHasNoSizeLimit) {
  auto t = newTools();
  std::vector<uint8_t> bytes(683, 0xFF);
  Bstr s;
  ASSERT_EQ(t->BufToHexStr(reinterpret_cast<PTRBUF>(bytes.data()), 683, s.put()), S_OK);
  EXPECT_EQ(s.view().size(), 2048u);
  EXPECT_EQ(s.view().substr(2043), u"FF FF");
}

TEST(Tools, GetNewByteArray) {
  auto t = newTools();
  for (LONG n : {0, -3}) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = 1234;
    ASSERT_EQ(t->GetNewByteArray(n, &v), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 1234);
  }
  Variant v;
  ASSERT_EQ(t->GetNewByteArray(5, &v), S_OK);
  EXPECT_EQ(v.vt, 0x2011);
  LONG lo = -1, hi = -1;
  SafeArrayGetLBound(v.parray, 1, &lo);
  SafeArrayGetUBound(v.parray, 1, &hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 4);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(static_cast<BYTE*>(v.parray->pvData)[i], 0);
}

TEST(Tools, BufToStrAndStrToBufRoundTripText) {
  auto t = newTools();
  // Every ASCII byte (a zero inside the text included) and UTF-8 characters come back as
  // they went; a byte that is no UTF-8 reads as U+FFFD.
  std::string all;
  for (int i = 0; i < 128; ++i) all.push_back(static_cast<char>(i));
  all += "\xE4\xB8\xAD\xC2\xB0" "C";  // "中°C"
  Bstr s;
  ASSERT_EQ(t->BufToStr(reinterpret_cast<PTRBUF>(all.data()), static_cast<LONG>(all.size()), s.put()), S_OK);
  EXPECT_EQ(s.view().size(), 131u);
  EXPECT_EQ(s.view()[0], 0);
  EXPECT_EQ(s.view().substr(128), u"\u4E2D\u00B0C");
  std::vector<uint8_t> back(all.size() + 4, 0xFF);
  LONG n = 0;
  ASSERT_EQ(t->StrToBuf(s.get(), reinterpret_cast<PTRBUF>(back.data()), &n), S_OK);
  EXPECT_EQ(n, static_cast<LONG>(all.size()));
  EXPECT_EQ(std::memcmp(back.data(), all.data(), all.size()), 0);
  EXPECT_EQ(back[all.size()], 0xFF);  // no terminating zero written
  const char notUtf8[] = "a\xFF";
  ASSERT_EQ(t->BufToStr(reinterpret_cast<PTRBUF>(notUtf8), 2, s.put()), S_OK);
  EXPECT_EQ(s.view(), u"a\uFFFD");

  Bstr none;
  ASSERT_EQ(t->BufToStr(reinterpret_cast<PTRBUF>(all.data()), 0, none.put()), S_OK);
  EXPECT_TRUE(none.isNull());
  EXPECT_EQ(t->StrToBuf(nullptr, reinterpret_cast<PTRBUF>(back.data()), &n), S_OK);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(t->StrToBuf(Bstr(u"").get(), reinterpret_cast<PTRBUF>(back.data()), &n), S_OK);
  EXPECT_EQ(n, 0);
}

TEST(List, IndexChecksNullRefusalAndItemLifetime) {
  ComPtr<IZrList> list;
  ASSERT_EQ(newTools()->GetNewIZrList(list.put()), S_OK);
  EXPECT_EQ(list->Add(nullptr), E_POINTER);
  LONG count = -1;
  list->GetCount(&count);
  EXPECT_EQ(count, 0);

  long before = zr::com::liveObjects().load();
  for (int i = 0; i < 7; ++i) {
    ComPtr<IDispatch> f;
    ASSERT_EQ(CFrame645::createInstance(nullptr, IDispatch::iid, f.putVoid()), S_OK);
    ASSERT_EQ(list->Add(f.get()), S_OK);
  }  // the host's own references are gone; the list keeps the items
  list->GetCount(&count);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(zr::com::liveObjects().load(), before + 7);
  ComPtr<IDispatch> item;
  EXPECT_EQ(list->get_Items(-1, item.put()), E_INVALIDARG);
  EXPECT_EQ(list->get_Items(7, item.put()), E_INVALIDARG);
  EXPECT_FALSE(item);
  EXPECT_EQ(list->get_Items(6, item.put()), S_OK);
  EXPECT_TRUE(item.as<IFrame645>());
  item.reset();
  ASSERT_EQ(list->Empty(), S_OK);
  EXPECT_EQ(zr::com::liveObjects().load(), before);
  list->GetCount(&count);
  EXPECT_EQ(count, 0);
}
