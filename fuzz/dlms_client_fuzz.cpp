// The client fed arbitrary replies: the frame gathering and reassembly over the bytes in
// any split, and every answer decoder of the control through its host-carried path. A
// decoded datum never passes its object's buffer, and a frame's information never
// passes the frame.
#include <cstring>
#include <vector>

#include "dlms/cosem_apdu.h"
#include "dlms/hdlc.h"
#include "dlms/zr_cosem_object.h"
#include "dlms/zr_dlms.h"
#include "fuzz_check.h"
#include "support/event_sink.h"

using namespace kavlink;

namespace {

// Gathers the bytes as the link does, piece by piece, reassembling I-frame information.
void gather(const uint8_t* p, size_t n, size_t piece) {
  std::vector<uint8_t> rx;
  size_t apdu = 0;
  for (size_t at = 0; at < n; at += piece) {
    rx.insert(rx.end(), p + at, p + std::min(n, at + piece));
    if (rx.size() >= 4096) rx.clear();
    const int count = static_cast<int>(rx.size());
    switch (CheckHdlcGathered(rx.data(), count)) {
      case HdlcGather::kBadStart:
        rx.clear();
        continue;
      case HdlcGather::kIncomplete:
        continue;
      case HdlcGather::kComplete:
        break;
    }
    HdlcFrameView v;
    if (HdlcCheckSumOk(rx.data(), count) && ReadHdlcFrame(rx.data(), count, 4, 1, 0, v) == HdlcRead::kOk) {
      // Information, when there is any, ends before the FCS and the closing flag.
      FUZZ_CHECK(v.infoLength >= 0 && (v.infoLength == 0 || v.infoStart + v.infoLength + 3 <= count));
      apdu += static_cast<size_t>(v.infoLength);
    }
    rx.clear();
  }
  (void)apdu;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 4096) return 0;
  gather(data + 1, size - 1, (data[0] & 0x3F) + 1u);

  static CZrDLMS* control = [] {
    CZrDLMS* c = CZrDLMS::create();
    c->put_Custom(TRUE);
    return c;
  }();
  static testhost::EventSink sink;
  static bool advised = sink.advise(control->controllingUnknown(), _IZrDLMSEvents::iid);
  (void)advised;
  const uint8_t* reply = data + 1;
  const size_t replyLen = size - 1;
  sink.onEvent = [&](DISPID id, DISPPARAMS* p) {
    if (id == _IZrDLMSEvents::kOnCosemComm) {
      std::memcpy(reinterpret_cast<void*>(p->rgvarg[1].ullVal), reply, replyLen);
      *p->rgvarg[0].plVal = static_cast<LONG>(replyLen);
    } else if (id == _IZrDLMSEvents::kOnCosemAuthen) {
      *p->rgvarg[0].plVal = TRUE;
    }
  };
  sink.events.clear();

  zr::com::ComPtr<CZrCosemObject> objects[3];
  for (auto& o : objects) o = zr::com::ComPtr<CZrCosemObject>::attach(CZrCosemObject::create());
  IZrList* list = nullptr;
  zr::com::ComPtr<IZrTools> tools;
  control->get_Tools(tools.put());
  tools->GetNewIZrList(&list);
  for (auto& o : objects) list->Add(static_cast<IZrCosemObject*>(o.get()));
  BOOL ok = FALSE;
  switch (data[0] >> 6) {
    case 0:
      control->put_Authentioation(data[0] & 3);
      control->CosemOpen(&ok);
      break;
    case 1:
      control->CosemGet(objects[0].get(), &ok);
      control->CosemGetWithList(list, &ok);
      break;
    case 2:
      control->CosemSet(objects[0].get(), &ok);
      control->CosemSetWithList(list, &ok);
      break;
    default:
      control->CosemAction(objects[0].get(), &ok);
      control->CosemActionWithList(list, &ok);
      break;
  }
  for (auto& o : objects) {
    LONG n = -1;
    o->get_DataLen(&n);
    FUZZ_CHECK(n >= 0 && n <= kCosemDataSize);
  }
  list->Release();
  return 0;
}
