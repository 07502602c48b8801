// A host that knows only the registration store: registers the module, creates its
// classes by class id and ProgID, and calls them through vtables and IDispatch.
#include <gtest/gtest.h>
#include <kavlink/frame645.h>
#include <kavlink/zr_tools.h>

#include "com/com_ptr.h"
#include "com/dispatch.h"
#include "com/registry.h"
#include "support/module_host.h"

using namespace zr::com;
using namespace kavlink;

class Activation : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(testhost::registerComponent(), nullptr) << dlerror(); }
};

TEST_F(Activation, ProgIdsMapToClassIdsBothWays) {
  struct Row {
    const char16_t* progId;
    const char16_t* viProgId;
    CLSID clsid;
  };
  const Row rows[] = {
      {u"kavlink.ZrTools.1", u"kavlink.ZrTools", CLSID_ZrTools},
      {u"kavlink.ZrLIST.1", u"kavlink.ZrLIST", CLSID_ZrList},
      {u"kavlink.Frame645.1", u"kavlink.Frame645", CLSID_Frame645},
  };
  for (const Row& r : rows) {
    CLSID a{}, b{};
    ASSERT_EQ(CLSIDFromProgID(r.progId, &a), S_OK);
    ASSERT_EQ(CLSIDFromProgID(r.viProgId, &b), S_OK);
    EXPECT_TRUE(a == r.clsid);
    EXPECT_TRUE(b == r.clsid);
    LPOLESTR back = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(r.clsid, &back), S_OK);
    EXPECT_EQ(std::u16string_view(back), r.progId);
    CoTaskMemFree(back);
    auto reg = findClass(r.clsid);
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->threadingModel, "Apartment");
  }
  CLSID none{};
  EXPECT_EQ(CLSIDFromProgID(u"kavlink.Nothing", &none), CO_E_CLASSSTRING);
}

TEST_F(Activation, CreateByClassIdAndCallThroughVtableAndDispatch) {
  ComPtr<IFrame645> f;
  ASSERT_EQ(CoCreateInstance(CLSID_Frame645, nullptr, CLSCTX_INPROC_SERVER, IFrame645::iid, f.putVoid()), S_OK);
  ASSERT_EQ(f->put_CtrlWord(0x11), S_OK);
  BYTE c = 0;
  f->get_CtrlWord(&c);
  EXPECT_EQ(c, 0x11);

  ComPtr<IDispatch> d = f.as<IDispatch>();
  Variant r;
  ASSERT_EQ(invokeByName(d.get(), u"address", DISPATCH_PROPERTYPUT, {varBstr(u"12345")}, nullptr), S_OK);
  ASSERT_EQ(invokeById(d.get(), 1, DISPATCH_PROPERTYGET, {}, &r), S_OK);
  EXPECT_EQ(bstrView(r.bstrVal), u"000000012345");
  ASSERT_EQ(invokeById(d.get(), 5, DISPATCH_PROPERTYGET, {}, &r), S_OK);
  EXPECT_EQ(r.lVal, 12);
  ASSERT_EQ(invokeByName(d.get(), u"GetFrameString", DISPATCH_METHOD, {}, &r), S_OK);
  EXPECT_EQ(bstrView(r.bstrVal), u"68 45 23 01 00 00 00 68 11 00 4A 16");
  // Data with an index outside the frame's area is refused.
  EXCEPINFO ei{};
  EXPECT_EQ(invokeById(d.get(), 4, DISPATCH_PROPERTYGET, {varI4(1024)}, &r, &ei), DISP_E_EXCEPTION);
  EXPECT_EQ(ei.scode, E_INVALIDARG);
}

TEST_F(Activation, CreateByProgIdAndObjectsDieWithTheirLastReference) {
  CLSID tools{};
  ASSERT_EQ(CLSIDFromProgID(u"kavlink.ZrTools", &tools), S_OK);
  {
    ComPtr<IZrTools> t;
    ASSERT_EQ(CoCreateInstance(tools, nullptr, CLSCTX_ALL, IZrTools::iid, t.putVoid()), S_OK);
    ComPtr<IZrList> list;
    ASSERT_EQ(t->GetNewIZrList(list.put()), S_OK);
    ComPtr<IFrame645> f;
    ASSERT_EQ(CoCreateInstance(CLSID_Frame645, nullptr, CLSCTX_ALL, IFrame645::iid, f.putVoid()), S_OK);
    ASSERT_EQ(list->Add(f.as<IDispatch>().get()), S_OK);
    EXPECT_EQ(testhost::canUnloadNow(), S_FALSE);
    f.reset();  // the list still holds the frame
    ComPtr<IDispatch> item;
    ASSERT_EQ(list->get_Items(0, item.put()), S_OK);
    EXPECT_TRUE(item.as<IFrame645>());
  }
  EXPECT_EQ(testhost::canUnloadNow(), S_OK);
}

TEST_F(Activation, ToolsThroughDispatchByIdAndByName) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"kavlink.ZrTools.1", &clsid), S_OK);
  ComPtr<IDispatch> d;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, d.putVoid()), S_OK);
  const BYTE bytes[] = {0x01, 0xAB, 0x00};
  Variant r;
  // The buffer address goes as a 64-bit value, signed or not.
  VARIANT asI8 = varPtr(bytes);
  asI8.vt = VT_I8;
  for (VARIANT address : {varPtr(bytes), asI8}) {
    ASSERT_EQ(invokeByName(d.get(), u"buftohexstr", DISPATCH_METHOD, {address, varI4(3)}, &r), S_OK);
    EXPECT_EQ(r.vt, VT_BSTR);
    EXPECT_EQ(bstrView(r.bstrVal), u"01 AB 00");
  }
  ASSERT_EQ(invokeById(d.get(), 1, DISPATCH_METHOD, {varI4(3)}, &r), S_OK);
  EXPECT_EQ(r.vt, VT_ARRAY | VT_UI1);
  LONG hi = -1;
  SafeArrayGetUBound(r.parray, 1, &hi);
  EXPECT_EQ(hi, 2);
  BYTE out[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(invokeById(d.get(), 4, DISPATCH_METHOD, {varBstr(u"AB"), varPtr(out)}, &r), S_OK);
  EXPECT_EQ(r.lVal, 2);
  EXPECT_EQ(out[0], 'A');
  EXPECT_EQ(out[1], 'B');
  EXPECT_EQ(out[2], 0xFF);
  ASSERT_EQ(invokeByName(d.get(), u"GetNewIZrList", DISPATCH_METHOD, {}, &r), S_OK);
  ASSERT_EQ(r.vt, VT_DISPATCH);
  EXPECT_TRUE(ComPtr<IDispatch>(r.pdispVal).as<IZrList>());
}

TEST_F(Activation, ListByProgIdThroughDispatchByIdAndByName) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"kavlink.ZrLIST", &clsid), S_OK);
  ComPtr<IDispatch> list;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, list.putVoid()), S_OK);
  ComPtr<IDispatch> frame;
  ASSERT_EQ(CoCreateInstance(CLSID_Frame645, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, frame.putVoid()), S_OK);
  Variant r;
  ASSERT_EQ(invokeById(list.get(), 3, DISPATCH_METHOD, {varDispatch(frame.get())}, &r), S_OK);
  ASSERT_EQ(invokeByName(list.get(), u"GetCount", DISPATCH_METHOD, {}, &r), S_OK);
  EXPECT_EQ(r.lVal, 1);
  ASSERT_EQ(invokeByName(list.get(), u"Items", DISPATCH_PROPERTYGET, {varI4(0)}, &r), S_OK);
  ASSERT_EQ(r.vt, VT_DISPATCH);
  EXPECT_EQ(ComPtr<IDispatch>(r.pdispVal).as<IFrame645>().get(), frame.as<IFrame645>().get());

  struct Row {
    const char* what;
    DISPID id;
    WORD flags;
    VARIANT arg;
    HRESULT code;
  };
  VARIANT none;
  VariantInit(&none);
  const Row refusals[] = {
      {"index past the end", 1, DISPATCH_PROPERTYGET, varI4(1), E_INVALIDARG},
      {"negative index", 1, DISPATCH_PROPERTYGET, varI4(-1), E_INVALIDARG},
      {"null item", 3, DISPATCH_METHOD, none, E_POINTER},
  };
  for (const Row& row : refusals) {
    EXCEPINFO ei{};
    EXPECT_EQ(invokeById(list.get(), row.id, row.flags, {row.arg}, &r, &ei), DISP_E_EXCEPTION) << row.what;
    EXPECT_EQ(ei.scode, row.code) << row.what;
  }
  ASSERT_EQ(invokeById(list.get(), 2, DISPATCH_METHOD, {}, &r), S_OK);
  EXPECT_EQ(r.lVal, 1);
}

TEST_F(Activation, UnknownClassIsNotRegistered) {
  ComPtr<IUnknown> u;
  EXPECT_EQ(
      CoCreateInstance(guid("01234567-89AB-CDEF-0123-456789ABCDEF"), nullptr, CLSCTX_ALL, IUnknown::iid, u.putVoid()),
      REGDB_E_CLASSNOTREG);
}

TEST_F(Activation, ComErrorThroughDispatchCarriesTheClassProgIdAsSource) {
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(u"kavlink.ZrCommDLT645", &clsid), S_OK);
  ComPtr<IDispatch> d;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, d.putVoid()), S_OK);
  // Send of no frame: the control's own COM error.
  EXCEPINFO ei{};
  Variant r;
  VARIANT none;
  VariantInit(&none);
  ASSERT_EQ(invokeByName(d.get(), u"Send", DISPATCH_METHOD, {none}, &r, &ei), DISP_E_EXCEPTION);
  EXPECT_EQ(bstrView(ei.bstrSource), u"kavlink.ZrCommDLT645.1");
  EXPECT_EQ(bstrView(ei.bstrDescription), u"IFrame645 interface is null");
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrDescription);
}
