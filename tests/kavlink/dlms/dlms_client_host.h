// What the DLMS tests share on the client side: a control with a recording sink, COSEM
// objects made from bytes, the thread's COM error text, and the client's half of the
// high level authentication.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channels/list/zr_list.h"
#include "com/com_ptr.h"
#include "dlms/zr_cosem_object.h"
#include "dlms/zr_dlms.h"
#include "sim/dlms_meter.h"
#include "support/event_sink.h"
#include "text/ansi.h"

namespace dlmstest {

using Bytes = std::vector<uint8_t>;
using kavlink::CZrCosemObject;
using kavlink::CZrDLMS;
using kavlink::IZrCosemObject;
using kavlink::IZrDLMS;
using zr::com::ComPtr;

inline std::string narrow(BSTR s) { return zr::text::wideToAnsi(zr::com::bstrView(s)); }

// The description of the thread's COM error info (empty when there is none).
inline std::string comErrorText() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) != S_OK || !info) return {};
  zr::com::Bstr d;
  info->GetDescription(d.put());
  return narrow(d.get());
}

inline ComPtr<IZrCosemObject> cosem(USHORT cls, const char16_t* obis, BYTE index, const Bytes& data = {}) {
  ComPtr<IZrCosemObject> o = ComPtr<IZrCosemObject>::attach(CZrCosemObject::create());
  o->put_ClassID(cls);
  o->put_OBIS(zr::com::Bstr(obis).get());
  o->put_index(index);
  for (size_t i = 0; i < data.size(); ++i) o->put_Data(static_cast<LONG>(i), data[i]);
  o->put_DataLen(static_cast<LONG>(data.size()));
  return o;
}

inline Bytes dataOf(IZrCosemObject* o) {
  LONG n = 0;
  o->get_DataLen(&n);
  Bytes d(static_cast<size_t>(n));
  for (LONG i = 0; i < n; ++i) o->get_Data(i, &d[static_cast<size_t>(i)]);
  return d;
}

inline BYTE accessResultOf(IZrCosemObject* o) {
  BYTE r = 0;
  o->get_AccessResult(&r);
  return r;
}

inline ComPtr<kavlink::IZrList> listOf(std::initializer_list<IZrCosemObject*> items) {
  ComPtr<kavlink::IZrList> l = ComPtr<kavlink::IZrList>::attach(kavlink::CZrList::create());
  for (IZrCosemObject* o : items) l->Add(o);
  return l;
}

// A client control with a sink on its events; the sink answers the high level
// authentication with `hlsSecret` and the calling value `password`.
struct ClientHost {
  ClientHost() {
    control = ComPtr<CZrDLMS>::attach(CZrDLMS::create());
    sink.advise(control->controllingUnknown(), kavlink::_IZrDLMSEvents::iid);
    sink.onEvent = [this](DISPID id, DISPPARAMS* p) {
      if (id == kavlink::_IZrDLMSEvents::kOnCosemAuthen) authen(p);
      if (hook) hook(id, p);
    };
    control->put_WaitTimeout(2000);
  }
  ~ClientHost() { sink.unadvise(); }

  void authen(DISPPARAMS* p) {
    const LONG level = p->rgvarg[3].lVal;
    auto* buf = reinterpret_cast<uint8_t*>(p->rgvarg[2].ullVal);
    LONG* len = p->rgvarg[1].plVal;
    LONG* success = p->rgvarg[0].plVal;
    if (level == 1) {
      Bytes answer = sim::dlmsHlsAnswer(hlsSecret, buf, static_cast<size_t>(*len));
      std::copy(answer.begin(), answer.end(), buf);
      *len = static_cast<LONG>(answer.size());
      *success = TRUE;
    } else {
      Bytes expected =
          sim::dlmsHlsAnswer(hlsSecret, reinterpret_cast<const uint8_t*>(password.data()), password.size());
      *success = Bytes(buf, buf + *len) == expected ? TRUE : FALSE;
    }
  }

  std::string lastError() {
    zr::com::Bstr t;
    control->GetLastErrorStr(t.put());
    return narrow(t.get());
  }
  std::string commMsg(bool tx) {
    zr::com::Bstr t;
    control->GetCommMsg(tx ? TRUE : FALSE, t.put());
    return narrow(t.get());
  }
  void setPassword(const std::string& p) {
    password = p;
    control->put_Password(zr::com::Bstr(zr::text::ansiToWide(p)).get());
  }
  BOOL open() {
    BOOL r = -5;
    EXPECT_EQ(control->CosemOpen(&r), S_OK) << comErrorText();
    return r;
  }

  ComPtr<CZrDLMS> control;
  testhost::EventSink sink;
  std::function<void(DISPID, DISPPARAMS*)> hook;
  std::string hlsSecret = "HLSsecret";
  std::string password;
};

}  // namespace dlmstest
