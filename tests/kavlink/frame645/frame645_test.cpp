// Wire bytes of the DL/T 645 frame, each expectation worked out by hand.
#include "dlt645/frame645.h"

#include <gtest/gtest.h>

#include <vector>

#include "com/com_ptr.h"

using namespace zr::com;
using namespace kavlink;

namespace {

ComPtr<IFrame645> newFrame() {
  ComPtr<IFrame645> f;
  EXPECT_EQ(CFrame645::createInstance(nullptr, IFrame645::iid, f.putVoid()), S_OK);
  return f;
}

std::vector<uint8_t> wire(IFrame645* f) {
  std::vector<uint8_t> buf(kFrame645MaxWire, 0xEE);
  LONG n = 0;
  EXPECT_EQ(f->ToBuffer(reinterpret_cast<PTRBUF>(buf.data()), &n), S_OK);
  buf.resize(static_cast<size_t>(n));
  return buf;
}

std::u16string text(HRESULT (IFrame645::*m)(BSTR*), IFrame645* f) {
  Bstr s;
  EXPECT_EQ((f->*m)(s.put()), S_OK);
  return s.str();
}

// Address 12345, read request for 9010: the request the setup program sends first.
void fillRequest(IFrame645* f) {
  f->put_Address(Bstr(u"12345").get());
  f->put_CtrlWord(0x01);
  f->put_DLen(2);
  f->put_Data(0, 0x10);
  f->put_Data(1, 0x90);
}

const std::vector<uint8_t> kRequest = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00,
                                       0x68, 0x01, 0x02, 0x43, 0xC3, 0x42, 0x16};

}  // namespace

TEST(Frame645, NewFrameSerialisesToTheEmptyFrame) {
  auto f = newFrame();
  EXPECT_EQ(wire(f.get()), (std::vector<uint8_t>{0x68, 0, 0, 0, 0, 0, 0, 0x68, 0, 0, 0xD0, 0x16}));
  LONG flen = 0;
  f->get_FLen(&flen);
  EXPECT_EQ(flen, 12);
  VARIANT_BOOL h33 = 0;
  f->get_Handle33(&h33);
  EXPECT_EQ(h33, 1);
  EXPECT_EQ(text(&IFrame645::GetDataString, f.get()), u"");
}

TEST(Frame645, RequestWithAndWithoutPreamble) {
  auto f = newFrame();
  fillRequest(f.get());
  EXPECT_EQ(wire(f.get()), kRequest);
  f->put_PrefixCharCount(4);
  std::vector<uint8_t> expected = {0xFE, 0xFE, 0xFE, 0xFE};
  expected.insert(expected.end(), kRequest.begin(), kRequest.end());
  EXPECT_EQ(wire(f.get()), expected);
  EXPECT_EQ(text(&IFrame645::GetFrameString, f.get()), u"FE FE FE FE 68 45 23 01 00 00 00 68 01 02 43 C3 42 16");
  EXPECT_EQ(text(&IFrame645::GetDataString, f.get()), u"10 90");
  // Switch off: data go out as they are; checksum 0x68+0x45+0x23+0x01+0x68+0x01+0x02+0x10+0x90 = 0x1DC.
  f->put_PrefixCharCount(0);
  f->put_Handle33(0);
  EXPECT_EQ(text(&IFrame645::GetFrameString, f.get()), u"68 45 23 01 00 00 00 68 01 02 10 90 DC 16");
}

TEST(Frame645, AddressAssignment) {
  struct Row {
    const char16_t* in;
    const char16_t* stored;
  };
  const Row rows[] = {
      {u"12345", u"000000012345"},        {u"", u"000000000000"},
      {u"123456789012", u"123456789012"}, {u"1234567890123456", u"123456789012"},  // the first 12 bytes stay
      {u"AB", u"0000000000AB"},
  };
  auto f = newFrame();
  for (const Row& r : rows) {
    f->put_Address(Bstr(r.in).get());
    Bstr out;
    f->get_Address(out.put());
    EXPECT_EQ(out.view(), r.stored) << std::string(r.in, r.in + std::char_traits<char16_t>::length(r.in));
  }
  f->put_Address(nullptr);
  Bstr out;
  f->get_Address(out.put());
  EXPECT_EQ(out.view(), u"000000000000");
}

TEST(Frame645, ParseWithPreambleKeepsItAsFragment) {
  auto f = newFrame();
  std::vector<uint8_t> buf = {0xFE, 0xFE, 0xFE, 0xFE};
  buf.insert(buf.end(), kRequest.begin(), kRequest.end());
  LONG at = -2;
  ASSERT_EQ(f->FromBuffer(reinterpret_cast<PTRBUF>(buf.data()), static_cast<LONG>(buf.size()), &at), S_OK);
  EXPECT_EQ(at, 4);
  Bstr a;
  f->get_Address(a.put());
  EXPECT_EQ(a.view(), u"000000012345");
  BYTE d0 = 0, d1 = 0;
  f->get_Data(0, &d0);
  f->get_Data(1, &d1);
  EXPECT_EQ(d0, 0x10);
  EXPECT_EQ(d1, 0x90);
  EXPECT_EQ(text(&IFrame645::GetFragment, f.get()), u"FE FE FE FE");
  // A frame at index 0 leaves the fragment as it was.
  ASSERT_EQ(f->FromBuffer(reinterpret_cast<PTRBUF>(kRequest.data()), 14, &at), S_OK);
  EXPECT_EQ(at, 0);
  EXPECT_EQ(text(&IFrame645::GetFragment, f.get()), u"FE FE FE FE");
}

TEST(Frame645, FragmentKeepsTheFirstIndexMod20Bytes) {
  struct Row {
    int lead;
    std::u16string fragment;
  };
  const Row rows[] = {{25, u"01 02 03 04 05"}, {20, u""}, {3, u"01 02 03"}};
  for (const Row& r : rows) {
    std::vector<uint8_t> buf;
    for (int i = 0; i < r.lead; ++i) buf.push_back(static_cast<uint8_t>(i + 1));
    buf.insert(buf.end(), kRequest.begin(), kRequest.end());
    auto f = newFrame();
    LONG at = 0;
    f->FromBuffer(reinterpret_cast<PTRBUF>(buf.data()), static_cast<LONG>(buf.size()), &at);
    EXPECT_EQ(at, r.lead);
    EXPECT_EQ(text(&IFrame645::GetFragment, f.get()), r.fragment) << r.lead;
  }
}

TEST(Frame645, ParseRefusals) {
  auto bad = kRequest;
  bad[12] = 0x43;  // wrong checksum
  std::vector<uint8_t> badThenGood = bad;
  badThenGood.insert(badThenGood.end(), kRequest.begin(), kRequest.end());
  auto truncated = std::vector<uint8_t>(kRequest.begin(), kRequest.end() - 1);
  struct Row {
    const char* what;
    std::vector<uint8_t> buf;
  };
  const Row rows[] = {
      {"wrong checksum", bad},
      {"bad candidate stops the scan", badThenGood},
      {"end byte beyond the buffer", truncated},
      {"noise only", std::vector<uint8_t>(100, 0x68)},
      {"empty", {}},
  };
  for (const Row& r : rows) {
    auto f = newFrame();
    f->put_CtrlWord(0x77);
    LONG at = 0;
    f->FromBuffer(reinterpret_cast<PTRBUF>(r.buf.data()), static_cast<LONG>(r.buf.size()), &at);
    EXPECT_EQ(at, -1) << r.what;
    BYTE c = 0;
    f->get_CtrlWord(&c);
    EXPECT_EQ(c, 0x77) << r.what << ": frame must be unchanged";
  }
}

TEST(Frame645, NonDigitAddressGoesThroughTheFormula) {
  // AA AA AA AA AA AA parses to twelve 'A's; 'A','A' serialise to 16*0x41+0x41-0x30 = 0x421 -> 0x21.
  std::vector<uint8_t> buf = {0x68, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0x68, 0x81, 0x00};
  uint8_t cs = 0;
  for (uint8_t b : buf) cs = static_cast<uint8_t>(cs + b);
  buf.push_back(cs);
  buf.push_back(0x16);
  auto f = newFrame();
  LONG at = 0;
  f->FromBuffer(reinterpret_cast<PTRBUF>(buf.data()), static_cast<LONG>(buf.size()), &at);
  ASSERT_EQ(at, 0);
  Bstr a;
  f->get_Address(a.put());
  EXPECT_EQ(a.view(), u"AAAAAAAAAAAA");
  auto w = wire(f.get());
  for (int k = 1; k <= 6; ++k) EXPECT_EQ(w[k], 0x21);
}

TEST(Frame645, LengthsKeepTheirLowByteAndDataIndexIsChecked) {
  auto f = newFrame();
  f->put_DLen(300);
  LONG v = 0;
  f->get_DLen(&v);
  EXPECT_EQ(v, 44);
  f->put_DLen(256);
  f->get_DLen(&v);
  EXPECT_EQ(v, 0);
  f->put_PrefixCharCount(257);
  f->get_PrefixCharCount(&v);
  EXPECT_EQ(v, 1);
  BYTE b = 0;
  EXPECT_EQ(f->get_Data(1023, &b), S_OK);
  EXPECT_EQ(f->get_Data(1024, &b), E_INVALIDARG);
  EXPECT_EQ(f->get_Data(-1, &b), E_INVALIDARG);
  EXPECT_EQ(f->put_Data(1024, 1), E_INVALIDARG);
}

TEST(Frame645, Sub33ShowsPlainDataWithTheWireChecksum) {
  auto f = newFrame();
  f->put_PrefixCharCount(2);
  f->put_DLen(1);
  f->put_Data(0, 0x10);
  // Wire: FE FE 68 00x6 68 00 01 43 CS 16, CS = 0x68+0x68+0x01+0x43 = 0x114 -> 0x14.
  EXPECT_EQ(text(&IFrame645::GetFrameString, f.get()), u"FE FE 68 00 00 00 00 00 00 68 00 01 43 14 16");
  EXPECT_EQ(text(&IFrame645::GetFrameStringSub33, f.get()), u"FE FE 68 00 00 00 00 00 00 68 00 01 10 14 16");
  f->put_Handle33(0);
  EXPECT_EQ(text(&IFrame645::GetFrameStringSub33, f.get()), text(&IFrame645::GetFrameString, f.get()));
}

TEST(Frame645, LongestFrameRendersWhole) {
  auto f = newFrame();
  f->put_PrefixCharCount(255);
  f->put_DLen(255);
  std::u16string s = text(&IFrame645::GetFrameString, f.get());
  EXPECT_EQ(s.size(), 522u * 3 - 1);
  EXPECT_EQ(text(&IFrame645::GetFrameStringSub33, f.get()).size(), 522u * 3 - 1);
  EXPECT_EQ(s.substr(s.size() - 2), u"16");
}

TEST(Frame645, CloneCopiesContentButNotFragment) {
  auto f = newFrame();
  std::vector<uint8_t> buf = {0xFE, 0xFE};
  buf.insert(buf.end(), kRequest.begin(), kRequest.end());
  LONG at = 0;
  f->put_PrefixCharCount(3);
  f->put_PrefixChar(0xAB);
  f->FromBuffer(reinterpret_cast<PTRBUF>(buf.data()), static_cast<LONG>(buf.size()), &at);
  ComPtr<IFrame645> c;
  ASSERT_EQ(f->Clone(c.put()), S_OK);
  EXPECT_EQ(wire(c.get()), wire(f.get()));
  EXPECT_EQ(text(&IFrame645::GetFragment, c.get()), u"");
  EXPECT_EQ(text(&IFrame645::GetFragment, f.get()), u"FE FE");
}
