// The client fed arbitrary replies: its HDLC engine over the bytes in any split, and every
// answer decoder of the control through its host-carried path. A decoded datum never
// passes its object's buffer, and a reassembled reply never passes its own.
#include <cstring>
#include <vector>

#include "dlms/cosem_apdu.h"
#include "dlms/hdlc.h"
#include "dlms/hdlc_client.h"
#include "dlms/zr_cosem_object.h"
#include "dlms/zr_dlms.h"
#include "fuzz_check.h"
#include "support/event_sink.h"

using namespace kavlink;

namespace {

// Splits the bytes into frames as a gatherer would and reads every checked one.
void readFrames(const uint8_t* p, size_t n, size_t piece) {
  std::vector<uint8_t> rx;
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
    }
    rx.clear();
  }
}

// Feeds the bytes to the client's HDLC engine piece by piece, as the control's port loop
// does, awaiting a UA or a reply APDU; an RR it asks for counts as sent and the reply goes
// on. Every frame it builds is whole, and nothing is reassembled past its buffer.
void feedClient(const uint8_t* p, size_t n, size_t piece, bool snrm) {
  static HdlcClient link;
  static uint8_t apdu[HdlcClient::kApduSize + 64];
  constexpr uint8_t kGet[] = {0xC0, 0x01, 0xC1, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 2, 0};
  auto start = [&] {
    if (snrm) {
      link.BuildSnrm();
    } else {
      link.BuildInformationFrame(kGet, sizeof kGet);
      link.ExpectReply(apdu, kTagGetResponse);
    }
  };
  auto frameIsWhole = [&] {
    FUZZ_CHECK(CheckHdlcGathered(link.tx(), link.txLength()) == HdlcGather::kComplete);
    FUZZ_CHECK(HdlcCheckSumOk(link.tx(), link.txLength()));
  };
  std::memset(apdu + HdlcClient::kApduSize, 0xCC, 64);
  start();
  for (size_t at = 0; at < n; at += piece) {
    const HdlcClient::Step step = link.feed(p + at, static_cast<int>(std::min(piece, n - at)));
    FUZZ_CHECK(link.rxCount() >= 0 && link.rxCount() < HdlcClient::kReceiveSize);
    FUZZ_CHECK(link.replyLength() >= 0 && link.replyLength() <= HdlcClient::kApduSize);
    switch (step) {
      case HdlcClient::Step::kNeedMore:
        break;
      case HdlcClient::Step::kSendFrame:
        frameIsWhole();
        FUZZ_CHECK(ClassifyControlByte(link.tx()[link.txLength() - 4]) == hfkRR);
        break;
      case HdlcClient::Step::kReply:
      case HdlcClient::Step::kError:
        start();
        frameIsWhole();
        break;
    }
  }
  for (size_t k = HdlcClient::kApduSize; k < sizeof apdu; ++k) FUZZ_CHECK(apdu[k] == 0xCC);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 4096) return 0;
  readFrames(data + 1, size - 1, (data[0] & 0x3F) + 1u);
  feedClient(data + 1, size - 1, (data[0] & 0x3F) + 1u, (data[0] >> 6) == 0);

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
