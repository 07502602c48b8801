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

TEST_F(Activation, UnknownClassIsNotRegistered) {
  ComPtr<IUnknown> u;
  EXPECT_EQ(CoCreateInstance(guid("01234567-89AB-CDEF-0123-456789ABCDEF"), nullptr, CLSCTX_ALL, IUnknown::iid,
                             u.putVoid()),
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
