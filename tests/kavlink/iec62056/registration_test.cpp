// The IEC control and the data message object as a host finds them: through the
// registration store and kavlink.so, by ProgID, called through IDispatch.
#include <gtest/gtest.h>
#include <kavlink/zr_iec62056_21.h>

#include "com/com_ptr.h"
#include "com/dispatch.h"
#include "com/registry.h"
#include "support/module_host.h"

using namespace zr::com;
using namespace kavlink;

TEST(IecRegistration, ProgIdsClassIdsAndACallThroughTheModule) {
  ASSERT_NE(testhost::registerComponent(), nullptr);
  struct Row {
    const char16_t* progId;
    const char16_t* viProgId;
    CLSID clsid;
  } rows[] = {
      {u"kavlink.ZrIEC62056_21.1", u"kavlink.ZrIEC62056_21", CLSID_ZrIEC62056_21},
      {u"kavlink.DATAMSG.1", u"kavlink.DATAMSG", CLSID_DataMsg},
  };
  for (const Row& r : rows) {
    CLSID a{}, b{};
    ASSERT_EQ(CLSIDFromProgID(r.progId, &a), S_OK);
    ASSERT_EQ(CLSIDFromProgID(r.viProgId, &b), S_OK);
    EXPECT_TRUE(a == r.clsid && b == r.clsid);
    auto reg = findClass(r.clsid);
    ASSERT_TRUE(reg);
    EXPECT_EQ(reg->threadingModel, "Apartment");
  }
  ComPtr<IDispatch> control;
  ASSERT_EQ(CoCreateInstance(CLSID_ZrIEC62056_21, nullptr, CLSCTX_INPROC_SERVER, IDispatch::iid, control.putVoid()),
            S_OK);
  Variant dm;
  ASSERT_EQ(invokeByName(control.get(), u"PickDataMsg", DISPATCH_METHOD,
                         {varBstr(u"\x02"
                                  u"1.8.0(001234.5*kWh)\r\n!\r\n\x03")},
                         &dm),
            S_OK);
  ASSERT_EQ(dm.vt, VT_DISPATCH);
  Variant value;
  ASSERT_EQ(invokeByName(dm.pdispVal, u"GetValue", DISPATCH_METHOD, {varI4(0)}, &value), S_OK);
  EXPECT_EQ(std::u16string_view(value.bstrVal), u"001234.5");
}
