// The token object: its stepping fields, the argument rules of each request, the round trip
// through Decrypt, and the result codes, directly and through IDispatch.
#include "sts/zr_sts.h"

#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <string>
#include <utility>

#include "com/com_ptr.h"
#include "com/dispatch.h"
#include "kavlink/sts/sts_vectors.h"
#include "module/class_table.h"
#include "sts/sts_token.h"
#include "text/ansi.h"

namespace kavlink {
namespace {

using zr::com::ComPtr;
namespace test = sts::test;

struct Bstr {
  explicit Bstr(std::string_view s) : b(zr::com::allocBstr(zr::text::ansiToWide(s))) {}
  ~Bstr() { SysFreeString(b); }
  operator BSTR() const { return b; }
  BSTR b;
};

// Takes a result string; a null one reads as "<null>".
std::string take(BSTR b) {
  std::string s = b ? zr::text::wideToAnsi(zr::com::bstrView(b)) : "<null>";
  SysFreeString(b);
  return s;
}

enum Kind { kCredit, kMpl, kClearCredit, kTariff, kTamper, kMppul, kReserved };

class ZrStsTest : public ::testing::Test {
 protected:
  ComPtr<IZrSTS> sts = ComPtr<IZrSTS>::attach(CZrSTS::create());

  // A token request; `value` is the credit amount or the request's number, `control` the block
  // of a reserved token. Returns the token, or "E" and the result code on failure.
  std::string request(Kind kind, std::string_view key, LONG rnd, ULONG tid, double value, LONG subclass = 0,
                      std::string_view control = "") {
    BSTR t = nullptr;
    Bstr k(key);
    // Only the credit amount may be NaN or out of LONG's range; converting it would be undefined.
    LONG v = kind == kCredit ? 0 : static_cast<LONG>(value);
    HRESULT h = kind == kCredit        ? sts->GetCreditToken(k, subclass, rnd, tid, static_cast<float>(value), &t)
                : kind == kMpl         ? sts->GetMaxPowerLimitToken(k, rnd, tid, v, &t)
                : kind == kClearCredit ? sts->GetClearCreditToken(k, rnd, tid, v, &t)
                : kind == kTariff      ? sts->GetSetTariffRateToken(k, rnd, tid, v, &t)
                : kind == kTamper      ? sts->GetClearTamperToken(k, rnd, tid, v, &t)
                : kind == kMppul       ? sts->GetMPPULToken(k, rnd, tid, v, &t)
                                       : sts->GetReservedToken(k, Bstr(control), subclass, &t);
    return h == S_OK ? take(t) : "E" + std::to_string(h);
  }
  std::string raw() {
    BSTR b = nullptr;
    sts->get_LastRawData(&b);
    return take(b);
  }
  std::string encrypted() {
    BSTR b = nullptr;
    sts->get_LastEncrypData(&b);
    return take(b);
  }
  std::string decrypt(std::string_view key, std::string_view token) {
    BSTR b = nullptr;
    HRESULT h = sts->Decrypt(Bstr(key), Bstr(token), &b);
    return h == S_OK ? take(b) : "E" + std::to_string(h);
  }
  LONG rnd() {
    LONG v = -1;
    sts->get_RND(&v);
    return v;
  }
  ULONG tid() {
    ULONG v = 0;
    sts->get_TID(&v);
    return v;
  }
};

const std::string kInvalidArg = "E" + std::to_string(E_INVALIDARG);

TEST_F(ZrStsTest, NewObjectStepsRndAndTidOnEachRead) {
  std::tm t0{};
  t0.tm_year = 93;
  t0.tm_mday = 1;
  t0.tm_isdst = -1;
  const int64_t base = std::mktime(&t0);
  const int64_t before = (std::time(nullptr) - base) / 60;
  sts = ComPtr<IZrSTS>::attach(CZrSTS::create());
  const int64_t after = (std::time(nullptr) - base) / 60;
  EXPECT_EQ(rnd(), 1);
  EXPECT_EQ(rnd(), 2);
  const ULONG first = tid();
  EXPECT_TRUE(first >= before && first <= after) << first;
  EXPECT_EQ(tid(), first + 1);

  sts->put_AutoRND(VARIANT_FALSE);
  sts->put_AutoTID(VARIANT_FALSE);
  EXPECT_EQ(rnd(), 2);
  EXPECT_EQ(tid(), first + 1);
  VARIANT_BOOL flag = 0;
  sts->put_AutoRND(VARIANT_TRUE);
  sts->get_AutoRND(&flag);
  EXPECT_EQ(flag, VARIANT_TRUE);
  for (int i = 0; i < 13; ++i) rnd();
  EXPECT_EQ(rnd(), 0);  // wraps after 15
}

TEST_F(ZrStsTest, RequestsStoreTheirRndAndTid) {
  const struct {
    LONG given;
    char used;
  } cases[] = {{5, '5'}, {15, 'F'}, {16, '0'}, {272, '0'}, {258, '2'}, {-1, '0'}};
  for (const auto& c : cases) {
    request(kCredit, test::kKeyA, c.given, 0x01ABCDEF, 1.0);
    EXPECT_EQ(raw().substr(0, 9), std::string("00") + c.used + "ABCDEF") << c.given;  // TID bits 31..24 dropped
    EXPECT_EQ(rnd(), (std::stoi(std::string(1, c.used), nullptr, 16) + 1) % 16);
    EXPECT_EQ(tid(), 0x01ABCDF0u);
  }
  EXPECT_EQ(request(kCredit, "1", 3, 0x00123456, 5), request(kCredit, "1", 3, 0xFF123456, 5));
}

TEST_F(ZrStsTest, RequestsReproducePublishedTokens) {
  const struct {
    int vector;
    Kind kind;
    double value;
  } cases[] = {{0, kCredit, 0.1},     {1, kCredit, 0.1},     {2, kCredit, 0.1}, {3, kCredit, 0.1},
               {4, kCredit, 0.1},     {5, kCredit, 0.1},     {24, kMpl, 1000},  {25, kMpl, 180224},
               {28, kClearCredit, 0}, {29, kClearCredit, 4}, {30, kTamper, 0},  {31, kMppul, 10}};
  for (const auto& c : cases) {
    const test::TokenVector& v = test::kTokenVectors[c.vector];
    EXPECT_EQ(request(c.kind, v.key, 5, v.tid, c.value, v.subclass), v.token) << c.vector;
    EXPECT_EQ(raw(), std::to_string(v.tokenClass) + v.plain);
    EXPECT_EQ(encrypted(), v.number66);
  }
}

TEST_F(ZrStsTest, ArgumentRulesAndValueCoding) {
  const struct {
    Kind kind;
    double given;
    double same;
  } alike[] = {{kClearCredit, 5, 0}, {kClearCredit, -1, 0}, {kTariff, 0, 1},       {kTariff, 100, 1},
               {kTamper, -1, 0},     {kTamper, 65536, 0},   {kMpl, 180220, 180224}};
  for (const auto& c : alike)
    EXPECT_EQ(request(c.kind, "1", 1, 2, c.given), request(c.kind, "1", 1, 2, c.same)) << c.kind << " " << c.given;
  EXPECT_EQ(request(kCredit, "1", 1, 2, 1, 16), request(kCredit, "1", 1, 2, 1, 0));

  const struct {
    Kind kind;
    double value;
    const char* code;
  } coded[] = {{kCredit, 12.3, "007B"},  {kCredit, 0, "0000"},  {kCredit, 1638.4, "4000"}, {kCredit, 2000.5, "416B"},
               {kTamper, 20000, "416A"}, {kTariff, 99, "0063"}, {kMppul, 1818600, "C000"}};
  for (const auto& c : coded) {
    request(c.kind, "1", 1, 2, c.value);
    EXPECT_EQ(raw().substr(9, 4), c.code) << c.value;
  }
}

TEST_F(ZrStsTest, MakeMeterKeyLeavesItsInputAndKeyInTheTextFields) {
  request(kCredit, test::kKeyA, 4, 1234, 1.0);
  BSTR key = nullptr;
  ASSERT_EQ(sts->MakeMeterKey(Bstr("123456"), Bstr("abababababababab"), nullptr, Bstr("00000000000"), 2, 2, 2, 1, &key),
            S_OK);
  EXPECT_EQ(take(key), test::kKeyB);
  EXPECT_EQ(raw(), "2151356021FFFFFF");
  EXPECT_EQ(encrypted(), test::kKeyB);
  EXPECT_EQ(rnd(), 5);  // the token fields stay as the last token left them
  EXPECT_EQ(tid(), 1235u);
}

TEST_F(ZrStsTest, TextFunctionsThroughTheObject) {
  using Member = HRESULT (IZrSTS::*)(BSTR, BSTR*);
  const struct {
    Member member;
    const char* in;
    const char* out;
  } cases[] = {{&IZrSTS::GetFormatToken, "123", "0000 0000 0000 0000 0123"},
               {&IZrSTS::GetFormatToken, "", "0000 0000 0000 0000 0000"},
               {&IZrSTS::GetMid11, "123456789", "01234567897"},
               {&IZrSTS::GetPAN, "911111111115", "600727111111111153"}};
  for (const auto& c : cases) {
    BSTR out = nullptr;
    ASSERT_EQ((sts.get()->*c.member)(Bstr(c.in), &out), S_OK) << c.in;
    EXPECT_EQ(take(out), c.out);
  }
}

TEST_F(ZrStsTest, EveryTokenDecryptsToItsRawData) {
  sts::Block reserved = test::hexBlock("7123456789AB0000");  // a reserved block carries its own CRC
  sts::sealTokenBlock(3, reserved);
  const struct {
    Kind kind;
    double value;
    LONG subclass;
  } cases[] = {{kCredit, 25.5, 0}, {kCredit, 1820162.4, 2}, {kMpl, 6000, 0},     {kClearCredit, 2, 0},
               {kTariff, 42, 0},   {kTamper, 0, 0},         {kMppul, 180300, 0}, {kReserved, 0, 7}};
  for (const char* key : {test::kKeyA, test::kKeyF, "0", "FFFFFFFFFFFFFFFF"}) {
    for (const auto& c : cases) {
      std::string token = request(c.kind, key, 3, 77, c.value, c.subclass, sts::blockHex16(reserved));
      ASSERT_EQ(token.size(), 20u) << token;
      std::string expected = raw();
      EXPECT_EQ(expected[0], c.kind == kCredit ? '0' : c.kind == kReserved ? '3' : '2');
      EXPECT_EQ(decrypt(key, token), expected) << key;
      EXPECT_EQ(decrypt(key == test::kKeyA ? test::kKeyB : test::kKeyA, token), "<null>") << expected;
    }
  }
  // Keys are padded on the left, cut to their rightmost 16 digits and upper-cased.
  std::string reference = request(kCredit, "00000000000ABC12", 0, 1, 1);
  for (const char* key : {"abc12", "000000000000abc12", "F00000000000ABC12"})
    EXPECT_EQ(request(kCredit, key, 0, 1, 1), reference) << key;
}

TEST_F(ZrStsTest, ReservedTokenTakesTheCallersBlock) {
  std::string token = request(kReserved, test::kKeyA, 0, 0, 0, 9, "abc");
  EXPECT_EQ(raw(), "39000000000000ABC");             // padded first, then the subclass replaces digit one
  EXPECT_EQ(decrypt(test::kKeyA, token), "<null>");  // no CRC was made
  request(kReserved, test::kKeyA, 0, 0, 0, 300, "F123456789ABCDEF");
  EXPECT_EQ(raw(), "30123456789ABCDEF");
}

TEST_F(ZrStsTest, ChangeTokensCarryTheNewKey) {
  const test::KeyChangeVector& v = test::kKeyChangeVectors[0];  // A to B, KRN 1, TI 2
  for (const char* in : {"060b8643c59a27f1", ""}) {
    BSTR newKey = zr::com::allocBstr(zr::text::ansiToWide(in)), token = nullptr;
    ASSERT_EQ(sts->GetChangeToken(Bstr("123456"), Bstr("ABABABABABABABAB"), nullptr, Bstr("00000000000"),
                                  Bstr(v.current), 2, 2, 2, 1, 0, 0, &newKey, &token),
              S_OK);
    EXPECT_EQ(take(newKey), test::kKeyB);
    std::string digits = take(token);
    EXPECT_EQ(digits, std::string(v.token1) + v.token2);
    EXPECT_EQ(raw(), *in ? "" : "2151356021FFFFFF");                     // only a derivation writes it
    EXPECT_EQ(encrypted(), "0D530672AB6C65C22");                         // the second token
    EXPECT_EQ(decrypt(v.current, digits), std::string("2") + v.plain1);  // reads the first 20 digits only
    EXPECT_EQ(decrypt(v.current, digits.substr(20)), std::string("2") + v.plain2);
  }
  // A 15-digit key gains a leading "0"; KT 7 counts as 2, KRN 0 as 1, RO and RES as 1.
  BSTR shortKey = zr::com::allocBstr(u"60B8643C59A27F1"), token = nullptr;
  ASSERT_EQ(sts->GetChangeToken(nullptr, nullptr, nullptr, nullptr, Bstr(v.current), 2, 7, 2, 0, VARIANT_TRUE, 1,
                                &shortKey, &token),
            S_OK);
  EXPECT_EQ(take(shortKey), test::kKeyB);
  EXPECT_EQ(decrypt(v.current, take(token)).substr(0, 13), "23F1E060B8643");
}

TEST_F(ZrStsTest, MalformedInputIsRefusedWithoutSideEffects) {
  request(kCredit, test::kKeyA, 4, 1234, 1.0);
  const std::string rawBefore = raw(), encBefore = encrypted();
  const struct {
    Kind kind;
    const char* key;
    double value;
  } tokens[] = {{kCredit, "", 1},      {kCredit, "E653341F9D5BF36G", 1},
                {kMpl, "E653 41F", 1}, {kCredit, "1", std::numeric_limits<double>::quiet_NaN()},
                {kCredit, "1", -0.1},  {kMpl, "1", -1},
                {kMpl, "1", 18201625}, {kMppul, "1", 0x7FFFFFFF}};
  for (const auto& c : tokens) EXPECT_EQ(request(c.kind, c.key, 1, 1, c.value), kInvalidArg) << c.key << c.value;
  EXPECT_EQ(request(kReserved, "1", 1, 1, 0, 0, "12Z4"), kInvalidArg);
  for (const char* token : {"1234567890123456789", "1234567890123456789O", "73786976294838206464"})
    EXPECT_EQ(decrypt("1", token), kInvalidArg) << token;
  EXPECT_EQ(decrypt("", test::kTokenVectors[0].token), kInvalidArg);

  BSTR out = nullptr, newKey = zr::com::allocBstr(u"XYZ");
  EXPECT_EQ(sts->MakeMeterKey(Bstr("123456"), Bstr("ABAB"), Bstr("ABAB"), Bstr("1"), 4, 2, 1, 1, &out), E_INVALIDARG);
  EXPECT_EQ(sts->GetMid11(Bstr("12345678a"), &out), E_INVALIDARG);
  EXPECT_EQ(sts->GetPAN(Bstr("1234 678901"), &out), E_INVALIDARG);
  EXPECT_EQ(sts->GetChangeToken(nullptr, nullptr, nullptr, nullptr, Bstr("1"), 2, 2, 1, 1, 0, 0, &newKey, &out),
            E_INVALIDARG);
  EXPECT_EQ(take(newKey), "XYZ");
  EXPECT_EQ(raw(), rawBefore);
  EXPECT_EQ(encrypted(), encBefore);
  EXPECT_EQ(rnd(), 5);
  EXPECT_EQ(tid(), 1235u);
}

// What a script host sees: names, dispids, properties, the in-out key, and failures.
TEST_F(ZrStsTest, ThroughIDispatch) {
  using namespace zr::com;
  IDispatch* d = sts.get();
  const std::pair<std::u16string, DISPID> names[] = {{u"autotid", 2}, {u"GetChangeToken", 14}, {u"DECRYPT", 20}};
  for (auto [name, expected] : names) {
    LPOLESTR p = name.data();
    DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(GUID_NULL, &p, 1, 0, &id), S_OK);
    EXPECT_EQ(id, expected);
  }

  VARIANT r;
  VariantInit(&r);
  ASSERT_EQ(invokeByName(d, u"AutoRND", DISPATCH_PROPERTYPUT, {varBool(false)}, nullptr), S_OK);
  ASSERT_EQ(invokeByName(d, u"GetCreditToken", DISPATCH_METHOD,
                         {varBstr(u"E653341F9D5BF36F"), varI4(0), varI4(5), varI4(5871715), varR8(0.1)}, &r),
            S_OK);
  EXPECT_EQ(take(std::exchange(r, VARIANT{}).bstrVal), test::kTokenVectors[0].token);
  ASSERT_EQ(invokeByName(d, u"RND", DISPATCH_PROPERTYGET, {}, &r), S_OK);
  EXPECT_EQ(r.lVal, 5);
  ASSERT_EQ(invokeByName(d, u"Decrypt", DISPATCH_METHOD, {varBstr(u"0"), varBstr(u"23716100501183194197")}, &r), S_OK);
  EXPECT_EQ(take(std::exchange(r, VARIANT{}).bstrVal), "<null>");  // S_OK with a null Data

  BSTR newKey = SysAllocString(u"");  // by reference: empty in, derived key out
  VARIANT byRef;
  VariantInit(&byRef);
  byRef.vt = VT_BYREF | VT_BSTR;
  byRef.pbstrVal = &newKey;
  ASSERT_EQ(invokeByName(d, u"GetChangeToken", DISPATCH_METHOD,
                         {varBstr(u"123456"), varBstr(u"ABABABABABABABAB"), varBstr(u""), varBstr(u"00000000000"),
                          varBstr(u"E653341F9D5BF36F"), varI4(2), varI4(2), varI4(2), varI4(1), varBool(false),
                          varBool(false), byRef},
                         &r),
            S_OK);
  EXPECT_EQ(take(std::exchange(r, VARIANT{}).bstrVal),
            std::string(test::kKeyChangeVectors[0].token1) + test::kKeyChangeVectors[0].token2);
  EXPECT_EQ(take(newKey), test::kKeyB);

  // A scripting host's reference to a VARIANT holding the text receives the key too.
  VARIANT boxed = varBstr(u"");
  VARIANT byVariant;
  VariantInit(&byVariant);
  byVariant.vt = VT_BYREF | VT_VARIANT;
  byVariant.pvarVal = &boxed;
  ASSERT_EQ(invokeByName(d, u"GetChangeToken", DISPATCH_METHOD,
                         {varBstr(u"123456"), varBstr(u"ABABABABABABABAB"), varBstr(u""), varBstr(u"00000000000"),
                          varBstr(u"E653341F9D5BF36F"), varI4(2), varI4(2), varI4(2), varI4(1), varBool(false),
                          varBool(false), byVariant},
                         &r),
            S_OK);
  EXPECT_EQ(take(std::exchange(r, VARIANT{}).bstrVal),
            std::string(test::kKeyChangeVectors[0].token1) + test::kKeyChangeVectors[0].token2);
  ASSERT_EQ(boxed.vt, VT_BSTR);
  EXPECT_EQ(take(std::exchange(boxed.bstrVal, nullptr)), test::kKeyB);

  EXCEPINFO e{};
  EXPECT_EQ(invokeByName(d, u"GetMid11", DISPATCH_METHOD, {varBstr(u"12ab")}, &r, &e), DISP_E_EXCEPTION);
  EXPECT_EQ(e.scode, E_INVALIDARG);
  SysFreeString(e.bstrSource);
  SysFreeString(e.bstrDescription);
}

TEST(ZrStsClass, RegisteredAndAggregatable) {
  const ClassEntry* entry = findClassEntry(CLSID_ZrSTS);
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry->progId == u"kavlink.ZrSTS.1" && entry->viProgId == u"kavlink.ZrSTS");
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(entry->getClassObject(IClassFactory::iid, factory.putVoid()), S_OK);
  ComPtr<IUnknown> outer = ComPtr<IUnknown>::attach(CZrSTS::create()), inner;  // any unknown can stand outside
  ASSERT_EQ(factory->CreateInstance(outer.get(), IUnknown::iid, inner.putVoid()), S_OK);
  EXPECT_NE(inner.get(), outer.get());
}

}  // namespace
}  // namespace kavlink
