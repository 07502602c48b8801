// A host that knows only the registration store creates the DLMS classes by ProgID and
// drives them through IDispatch, as a script would.
#include <gtest/gtest.h>
#include <kavlink/zr_dlms.h>

#include "com/com_ptr.h"
#include "com/dispatch.h"
#include "support/module_host.h"

using namespace zr::com;
using namespace kavlink;

TEST(DlmsActivation, ClassesByProgIdThroughDispatch) {
  ASSERT_NE(testhost::registerComponent(), nullptr) << dlerror();
  struct Row {
    const char16_t* progId;
    const char16_t* viProgId;
    CLSID clsid;
  };
  const Row rows[] = {{u"kavlink.ZrDLMS.1", u"kavlink.ZrDLMS", CLSID_ZrDLMS},
                      {u"kavlink.ZrDLMS_COSEM.1", u"kavlink.ZrDLMS_COSEM", CLSID_ZrCosemObject}};
  for (const Row& r : rows) {
    CLSID a{}, b{};
    ASSERT_EQ(CLSIDFromProgID(r.progId, &a), S_OK);
    ASSERT_EQ(CLSIDFromProgID(r.viProgId, &b), S_OK);
    EXPECT_TRUE(a == r.clsid && b == r.clsid);
  }
  ComPtr<IDispatch> dlms;
  ASSERT_EQ(CoCreateInstance(CLSID_ZrDLMS, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, dlms.putVoid()), S_OK);
  Variant r;
  ASSERT_EQ(invokeByName(dlms.get(), u"GetNewIZrCosemObject", DISPATCH_METHOD, {}, &r), S_OK);
  ASSERT_EQ(r.vt, VT_DISPATCH);
  ComPtr<IDispatch> cosem(r.pdispVal);
  ASSERT_EQ(invokeByName(cosem.get(), u"obis", DISPATCH_PROPERTYPUT, {varBstr(u"1.0.1.8.0.255")}, nullptr), S_OK);
  Variant text;
  ASSERT_EQ(invokeById(cosem.get(), 3, DISPATCH_PROPERTYGET, {}, &text), S_OK);
  EXPECT_EQ(bstrView(text.bstrVal), u"1.0.1.8.0.255");
  Variant msg;
  ASSERT_EQ(invokeByName(dlms.get(), u"GetLastErrorStr", DISPATCH_METHOD, {}, &msg), S_OK);
  EXPECT_EQ(bstrView(msg.bstrVal), u"Unknow error msg");
  Variant timeout;
  ASSERT_EQ(invokeById(dlms.get(), 5, DISPATCH_PROPERTYGET, {}, &timeout), S_OK);
  EXPECT_EQ(timeout.lVal, 7000);
}
