#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "com/com.h"
#include "com/com_ptr.h"
#include "com/dispatch.h"
#include "com/object.h"

using namespace zr::com;

TEST(Bstr, NullIsDistinctFromEmptyAndZerosAreKept) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  Bstr empty(u"");
  ASSERT_NE(empty.get(), nullptr);
  EXPECT_EQ(SysStringLen(empty.get()), 0u);
  const char16_t withZero[] = {u'a', 0, u'b'};
  Bstr z = Bstr::attach(SysAllocStringLen(withZero, 3));
  EXPECT_EQ(SysStringLen(z.get()), 3u);
  EXPECT_EQ(SysStringByteLen(z.get()), 6u);
  EXPECT_EQ(z.get()[1], 0);
  EXPECT_EQ(z.get()[3], 0);  // always terminated
  Bstr odd = Bstr::attach(SysAllocStringByteLen("abc", 3));
  EXPECT_EQ(SysStringByteLen(odd.get()), 3u);
}

TEST(Guid, TextRoundTripAndRejects) {
  GUID g{};
  ASSERT_TRUE(parseGuid("{d6c59ca7-e3f5-4555-9dd3-2168d4c78030}", g));
  EXPECT_EQ(GuidToString(g), "{D6C59CA7-E3F5-4555-9DD3-2168D4C78030}");
  EXPECT_TRUE(g == guid("D6C59CA7-E3F5-4555-9DD3-2168D4C78030"));
  for (const char* bad : {"", "{D6C59CA7-E3F5-4555-9DD3-2168D4C7803}", "{D6C59CA7xE3F5-4555-9DD3-2168D4C78030}",
                          "(D6C59CA7-E3F5-4555-9DD3-2168D4C78030)", "{G6C59CA7-E3F5-4555-9DD3-2168D4C78030}"})
    EXPECT_FALSE(parseGuid(bad, g)) << bad;
  OLECHAR buf[39];
  EXPECT_EQ(StringFromGUID2(g, buf, 39), 39);
  CLSID back{};
  EXPECT_EQ(CLSIDFromString(buf, &back), S_OK);
  EXPECT_TRUE(back == g);
  EXPECT_EQ(StringFromGUID2(g, buf, 38), 0);
}

struct Coercion {
  VARIANT in;
  VARTYPE to;
  HRESULT hr;
  long long expect;
};

VARIANT make(VARTYPE vt, long long v) {
  VARIANT r;
  VariantInit(&r);
  r.vt = vt;
  switch (vt) {
    case VT_I1:
      r.cVal = static_cast<char>(v);
      break;
    case VT_UI1:
      r.bVal = static_cast<BYTE>(v);
      break;
    case VT_I2:
      r.iVal = static_cast<SHORT>(v);
      break;
    case VT_UI2:
      r.uiVal = static_cast<USHORT>(v);
      break;
    case VT_I4:
      r.lVal = static_cast<LONG>(v);
      break;
    case VT_UI4:
      r.ulVal = static_cast<ULONG>(v);
      break;
    case VT_I8:
      r.llVal = v;
      break;
    case VT_UI8:
      r.ullVal = static_cast<ULONGLONG>(v);
      break;
    case VT_BOOL:
      r.boolVal = static_cast<VARIANT_BOOL>(v);
      break;
    default:
      break;
  }
  return r;
}

long long readBack(const VARIANT& v) {
  switch (v.vt) {
    case VT_I1:
      return v.cVal;
    case VT_UI1:
      return v.bVal;
    case VT_I2:
      return v.iVal;
    case VT_UI2:
      return v.uiVal;
    case VT_I4:
      return v.lVal;
    case VT_UI4:
      return v.ulVal;
    case VT_I8:
      return v.llVal;
    case VT_UI8:
      return static_cast<long long>(v.ullVal);
    case VT_BOOL:
      return v.boolVal;
    default:
      return -999;
  }
}

TEST(Variant, IntegerCoercionChecksRange) {
  const Coercion cases[] = {
      {make(VT_I4, 255), VT_UI1, S_OK, 255},
      {make(VT_I4, 256), VT_UI1, DISP_E_OVERFLOW, 0},
      {make(VT_I4, -1), VT_UI1, DISP_E_OVERFLOW, 0},
      {make(VT_UI1, 200), VT_I1, DISP_E_OVERFLOW, 0},
      {make(VT_I2, -5), VT_I4, S_OK, -5},
      {make(VT_I4, -5), VT_UI4, DISP_E_OVERFLOW, 0},
      {make(VT_UI4, 0xFFFFFFFF), VT_I4, DISP_E_OVERFLOW, 0},
      {make(VT_UI4, 0xFFFFFFFF), VT_I8, S_OK, 0xFFFFFFFFll},
      {make(VT_I8, 1ll << 40), VT_I4, DISP_E_OVERFLOW, 0},
      {make(VT_BOOL, -1), VT_I4, S_OK, -1},
      {make(VT_BOOL, -1), VT_UI1, S_OK, 255},
      {make(VT_I4, 7), VT_BOOL, S_OK, -1},
      {make(VT_I4, 0), VT_BOOL, S_OK, 0},
      {make(VT_EMPTY, 0), VT_I4, S_OK, 0},
  };
  for (const auto& c : cases) {
    VARIANT out;
    VariantInit(&out);
    EXPECT_EQ(VariantChangeType(&out, &c.in, 0, c.to), c.hr) << c.in.vt << "->" << c.to;
    if (c.hr == S_OK) {
      EXPECT_EQ(readBack(out), c.expect) << c.in.vt << "->" << c.to;
    }
    VariantClear(&out);
  }
}

TEST(Variant, TextAndFloatCoercion) {
  Variant v;
  v.vt = VT_BSTR;
  v.bstrVal = allocBstr(u" 1234 ");
  Variant out;
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 1234);
  VariantClear(&v);
  v.vt = VT_BSTR;
  v.bstrVal = allocBstr(u"12x");
  EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VariantClear(&v);
  v.vt = VT_R8;
  v.dblVal = 2.5;  // halves go to the even neighbour
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 2);
  v.dblVal = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(VariantChangeType(&out, &v, 0, VT_I4), DISP_E_OVERFLOW);
  v.vt = VT_I4;
  v.lVal = -42;
  ASSERT_EQ(VariantChangeType(&out, &v, 0, VT_BSTR), S_OK);
  EXPECT_EQ(bstrView(out.bstrVal), u"-42");
}

TEST(Variant, ByRefIsFollowedAndInPlaceChangeWorks) {
  LONG target = 77;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &target;
  Variant out;
  ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_UI1), S_OK);
  EXPECT_EQ(out.bVal, 77);
  Variant self;
  self.vt = VT_BSTR;
  self.bstrVal = allocBstr(u"9");
  ASSERT_EQ(VariantChangeType(&self, &self, 0, VT_I2), S_OK);
  EXPECT_EQ(self.vt, VT_I2);
  EXPECT_EQ(self.iVal, 9);
}

TEST(SafeArray, VectorOfBytesAndCopy) {
  SAFEARRAY* sa = SafeArrayCreateVector(VT_UI1, 0, 5);
  ASSERT_NE(sa, nullptr);
  LONG lo = -1, hi = -1;
  SafeArrayGetLBound(sa, 1, &lo);
  SafeArrayGetUBound(sa, 1, &hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 4);
  BYTE* data = nullptr;
  SafeArrayAccessData(sa, reinterpret_cast<void**>(&data));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(data[i], 0);
  data[2] = 9;
  EXPECT_NE(SafeArrayDestroy(sa), S_OK);  // locked
  SafeArrayUnaccessData(sa);
  Variant a;
  a.vt = VT_ARRAY | VT_UI1;
  a.parray = sa;
  Variant b(a);
  ASSERT_NE(b.parray, a.parray);
  EXPECT_EQ(static_cast<BYTE*>(b.parray->pvData)[2], 9);
  VARTYPE vt = 0;
  SafeArrayGetVartype(b.parray, &vt);
  EXPECT_EQ(vt, VT_UI1);
}

TEST(MemoryStream, WriteSeekReadAndShortRead) {
  ComPtr<IStream> s;
  ASSERT_EQ(CreateMemoryStream(s.put()), S_OK);
  const char data[] = "abcdef";
  ULONG n = 0;
  ASSERT_EQ(s->Write(data, 6, &n), S_OK);
  EXPECT_EQ(n, 6u);
  ULONGLONG pos = 0;
  s->Seek(2, STREAM_SEEK_SET, &pos);
  EXPECT_EQ(pos, 2u);
  char out[10] = {};
  EXPECT_EQ(s->Read(out, 10, &n), S_FALSE);
  EXPECT_EQ(n, 4u);
  EXPECT_STREQ(out, "cdef");
  EXPECT_NE(s->Seek(-1, STREAM_SEEK_SET, nullptr), S_OK);
}

TEST(ErrorInfo, IsPerThreadAndTakenOnce) {
  EXPECT_EQ(reportError(u"kavlink.Test.1", "boom"), DISP_E_EXCEPTION);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
  Bstr src, desc;
  info->GetSource(src.put());
  info->GetDescription(desc.put());
  EXPECT_EQ(src.view(), u"kavlink.Test.1");
  EXPECT_EQ(desc.view(), u"boom");
  GUID g{1, 1, 1, {}};
  info->GetGUID(&g);
  EXPECT_TRUE(g == GUID_NULL);
  ComPtr<IErrorInfo> again;
  EXPECT_EQ(GetErrorInfo(0, again.put()), S_FALSE);
  EXPECT_FALSE(again);
}
