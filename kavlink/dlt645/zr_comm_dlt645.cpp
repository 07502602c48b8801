#include "dlt645/zr_comm_dlt645.h"

#include "channels/exchange_guard.h"
#include "module/class_table.h"
#include "module/dialog_host.h"
#include "module/property_stream.h"
#include "text/ticks.h"

namespace kavlink {
namespace {

constexpr char kNullFrame[] = "IFrame645 interface is null";

}  // namespace

CZrCommDLT645::CZrCommDLT645() : events_(_IZrCommDLT645Events::iid, this, nullptr) { addConnectionPoint(&events_); }

HRESULT CZrCommDLT645::finalConstruct() {
  events_.setOwner(controllingUnknown());
  rxFrame_ = zr::com::ComPtr<CFrame645>::attach(CFrame645::create());
  if (!rxFrame_) return E_OUTOFMEMORY;
  ports_.serial().put_BaudRate(br9600);
  ports_.serial().put_ParityBits(prEven);
  ports_.serial().SetEventCallback(&CZrCommDLT645::SerialRecvCallback, this);
  return S_OK;
}

CZrCommDLT645::~CZrCommDLT645() {
  // The host may still hold the inner port; it must not call back into a dead control.
  ports_.serial().SetEventCallback(nullptr, nullptr);
}

HRESULT CZrCommDLT645::get_Serial(IZrSerial** value) { return ports_.getSerial(value); }

HRESULT CZrCommDLT645::get_WaitTimeout(ULONG* value) { return zr::com::outValue(value, waitTimeout_); }

HRESULT CZrCommDLT645::put_WaitTimeout(ULONG value) {
  waitTimeout_ = value;
  dirty_ = true;
  return S_OK;
}

HRESULT CZrCommDLT645::get_AutoReceive(VARIANT_BOOL* value) { return zr::com::outValue(value, autoReceive_); }

HRESULT CZrCommDLT645::put_AutoReceive(VARIANT_BOOL value) {
  autoReceive_ = value;
  dirty_ = true;
  return S_OK;
}

HRESULT CZrCommDLT645::get_AttemptTimes(LONG* value) { return zr::com::outValue(value, attemptTimes_); }

HRESULT CZrCommDLT645::put_AttemptTimes(LONG value) {
  attemptTimes_ = value;
  return S_OK;
}

HRESULT CZrCommDLT645::get_Tools(IZrTools** value) { return ports_.getTools(value); }

HRESULT CZrCommDLT645::AboutBox() {
  return guard([] { dialog::showAboutBox("ZrCommDLT645"); });
}

void CZrCommDLT645::writeFrame(IFrame645* txFrame) {
  LONG length = 0;
  HRESULT h = txFrame->ToBuffer(reinterpret_cast<PTRBUF>(tx_), &length);
  if (FAILED(h)) throw zr::com::HResultError(h);
  // The count written is not judged here: a short write shows as a missing reply.
  ports_.serialChannel().write(tx_, static_cast<size_t>(length));
}

HRESULT CZrCommDLT645::Send(IFrame645* txFrame, VARIANT_BOOL* result) {
  if (!result) return E_POINTER;
  *result = 0;
  return guard([&] {
    if (!txFrame) throw zr::com::ComError(kNullFrame);
    writeFrame(txFrame);
    *result = 1;
  });
}

HRESULT CZrCommDLT645::GetNewIFrame645(IFrame645** result) {
  if (!result) return E_POINTER;
  return CFrame645::createInstance(nullptr, IFrame645::iid, reinterpret_cast<void**>(result));
}

void CZrCommDLT645::clearReceiveSide() {
  rx_.clear();
  ports_.serialChannel().purge();
}

bool CZrCommDLT645::takeInput(uint32_t n) {
  if (n >= static_cast<uint32_t>(ReceiveBuffer645::kSize) || !rx_.fits(static_cast<int32_t>(n))) {
    clearReceiveSide();
    return false;
  }
  rx_.appended(static_cast<int32_t>(ports_.serialChannel().read(rx_.tail(), n)));
  return true;
}

int32_t CZrCommDLT645::waitForFrame() {
  int32_t p = rx_.search(checkCs_);
  if (p >= 0) return p;
  const uint32_t start = zr::text::tickCount();
  for (;;) {
    if (zr::text::tickCount() - start >= waitTimeout_) return -1;
    // Every wait gets the whole time-out, not what remains of it.
    const uint32_t n = ports_.serialChannel().waitForInput(waitTimeout_);
    if (n == 0 || !takeInput(n)) return -1;
    p = rx_.search(checkCs_);
    if (p >= 0) return p;
  }
}

IFrame645* CZrCommDLT645::takeFrame(int32_t p) {
  CFrame645* frame = CFrame645::create();
  if (!frame) throw zr::com::HResultError(E_OUTOFMEMORY);
  rx_.unpack(p, frame->frame());
  return frame;
}

HRESULT CZrCommDLT645::Recv(IFrame645** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return guard([&] {
    runExchange(busy_, controllingUnknown(), [&] {
      int32_t p = waitForFrame();
      if (p >= 0) *result = takeFrame(p);
    });
  });
}

HRESULT CZrCommDLT645::Comm(IFrame645* txFrame, IFrame645** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  return guard([&] {
    runExchange(busy_, controllingUnknown(), [&] {
      clearReceiveSide();
      // The buffer is kept between attempts: a late reply to one attempt serves the next.
      for (LONG attempt = 1; attempt <= attemptTimes_; ++attempt) {
        if (!txFrame) throw zr::com::ComError(kNullFrame);
        writeFrame(txFrame);
        int32_t p = waitForFrame();
        if (p >= 0) {
          *result = takeFrame(p);
          break;
        }
      }
    });
  });
}

HRESULT CZrCommDLT645::ClearBuf() {
  return guard([&] { clearReceiveSide(); });
}

HRESULT CZrCommDLT645::SetCheckCS(VARIANT_BOOL check) {
  checkCs_ = check != 0;
  return S_OK;
}

void CZrCommDLT645::SerialRecvCallback(void* user, DWORD eventBit) {
  static_cast<CZrCommDLT645*>(user)->onSerialEvent(eventBit);
}

void CZrCommDLT645::readAvailableFrames() {
  for (;;) {
    if (!takeInput(ports_.serialChannel().available())) return;
    int32_t p = rx_.search(checkCs_);
    if (p < 0) return;
    rx_.unpack(p, rxFrame_->frame());
    events_.fireArgs(_IZrCommDLT645Events::kOnRecvFrame, static_cast<IFrame645*>(rxFrame_.get()));
  }
}

void CZrCommDLT645::onSerialEvent(DWORD bit) {
  // Keep the control alive while a host handler runs from inside the event.
  zr::com::ComPtr<IUnknown> self(controllingUnknown());
  if (autoReceive_ && bit == ef_RXCHAR) {
    try {
      readAvailableFrames();
    } catch (...) {
      // A port failure ends this event's handling; the next event starts afresh.
    }
    return;
  }
  events_.fireArgs(_IZrCommDLT645Events::kOnSerialEvent, static_cast<TSerialEvent>(bit));
}

// ---- persistence --------------------------------------------------------------------

std::span<const StreamProperty<CZrCommDLT645>> CZrCommDLT645::streamProperties() {
  using C = CZrCommDLT645;
  static constexpr StreamProperty<C> kProperties[] = {
      streamProperty<VT_UI4, &C::get_WaitTimeout, &C::put_WaitTimeout>(),
      streamProperty<VT_BOOL, &C::get_AutoReceive, &C::put_AutoReceive>(),
  };
  return kProperties;
}

}  // namespace kavlink

using namespace zr::com;
using kavlink::IZrCommDLT645;

template <>
const DispTable& zr::com::dispatchTable<IZrCommDLT645>() {
  static const DispTable t{{
      propGet<&IZrCommDLT645::get_Serial>(u"Serial", 1),
      propGet<&IZrCommDLT645::get_WaitTimeout>(u"WaitTimeout", 2),
      propPut<&IZrCommDLT645::put_WaitTimeout>(u"WaitTimeout", 2),
      propGet<&IZrCommDLT645::get_AutoReceive>(u"AutoReceive", 3),
      propPut<&IZrCommDLT645::put_AutoReceive>(u"AutoReceive", 3),
      propGet<&IZrCommDLT645::get_AttemptTimes>(u"AttemptTimes", 13),
      propPut<&IZrCommDLT645::put_AttemptTimes>(u"AttemptTimes", 13),
      propGet<&IZrCommDLT645::get_Tools>(u"Tools", 15),
      method<&IZrCommDLT645::AboutBox>(u"AboutBox", -552),
      method<&IZrCommDLT645::Send>(u"Send", 4),
      method<&IZrCommDLT645::GetNewIFrame645>(u"GetNewIFrame645", 5),
      method<&IZrCommDLT645::Recv>(u"Recv", 6),
      method<&IZrCommDLT645::Comm>(u"Comm", 7),
      method<&IZrCommDLT645::ClearBuf>(u"ClearBuf", 8),
      method<&IZrCommDLT645::SetCheckCS>(u"SetCheckCS", 14),
  }};
  return t;
}

namespace kavlink {
KAVLINK_CLASS(CZrCommDLT645, "ZrCommDLT645 Class");
}  // namespace kavlink
