// CZrDLMS: properties, the association and the GET, SET and ACTION services.
#include "dlms/zr_dlms.h"

#include <cstring>
#include <vector>

#include "channels/exchange_guard.h"
#include "channels/list/zr_list.h"
#include "channels/tools/hex_text.h"
#include "channels/tools/zr_tools.h"
#include "dlms/zr_cosem_object.h"
#include "module/class_table.h"
#include "text/ansi.h"
#include "text/trim.h"

namespace kavlink {
namespace {

constexpr char kPasswordTooLong[] = "Password is too long: at most 81 bytes fit the AARQ";
constexpr uint8_t kAssociationObis[6] = {0, 0, 40, 0, 0, 255};
// A-XDR octet-string lengths of 128 and more need the long form, which is not sent.
constexpr int kMaxAuthAnswer = 127;

}  // namespace

CZrDLMS::CZrDLMS()
    : events_(_IZrDLMSEvents::iid, this, nullptr), host_(apdu_, kApduSize, [this](uint8_t* buffer, int64_t length) {
        LONG len = static_cast<LONG>(length);
        events_.fireArgs(_IZrDLMSEvents::kOnCosemComm, reinterpret_cast<PTRBUF>(buffer), &len);
        return int64_t{len};
      }) {
  addConnectionPoint(&events_);
  link_.onFrameGathered = [this] { fireMsg(false); };
}

HRESULT CZrDLMS::finalConstruct() {
  events_.setOwner(controllingUnknown());
  return S_OK;
}

// ---- properties -----------------------------------------------------------------------

HRESULT CZrDLMS::get_Serial(IZrSerial** value) { return ports_.getSerial(value); }

HRESULT CZrDLMS::get_socket(IZrSocket** value) {
  if (!value) return E_POINTER;
  return socket_->QueryInterface(IZrSocket::iid, reinterpret_cast<void**>(value));
}

HRESULT CZrDLMS::get_Authentioation(LONG* value) { return zr::com::outValue(value, authentication_); }

HRESULT CZrDLMS::put_Authentioation(LONG value) {
  authentication_ = value;
  return S_OK;
}

HRESULT CZrDLMS::get_Password(BSTR* value) {
  if (!value) return E_POINTER;
  *value = zr::com::narrowBstr(password_);
  return *value ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZrDLMS::put_Password(BSTR value) {
  password_ = zr::text::trim(zr::text::wideToAnsi(zr::com::bstrView(value)));
  return S_OK;
}

HRESULT CZrDLMS::get_WaitTimeout(LONG* value) { return zr::com::outValue(value, waitTimeout_); }

HRESULT CZrDLMS::put_WaitTimeout(LONG value) {
  waitTimeout_ = value;
  return S_OK;
}

HRESULT CZrDLMS::get_PhysicalAddr(USHORT* value) { return zr::com::outValue(value, link_.address.physical); }

HRESULT CZrDLMS::put_PhysicalAddr(USHORT value) {
  link_.address.physical = value;
  return S_OK;
}

HRESULT CZrDLMS::get_LogicalAddr(USHORT* value) { return zr::com::outValue(value, link_.address.logical); }

HRESULT CZrDLMS::put_LogicalAddr(USHORT value) {
  link_.address.logical = value;
  return S_OK;
}

HRESULT CZrDLMS::get_ClientAddr(BYTE* value) { return zr::com::outValue(value, link_.address.client); }

HRESULT CZrDLMS::put_ClientAddr(BYTE value) {
  link_.address.client = value;
  return S_OK;
}

HRESULT CZrDLMS::get_Channel(LONG* value) { return zr::com::outValue(value, channel_); }

HRESULT CZrDLMS::put_Channel(LONG value) {
  channel_ = value;
  return S_OK;
}

HRESULT CZrDLMS::get_Custom(BOOL* value) { return zr::com::outValue(value, custom_); }

HRESULT CZrDLMS::put_Custom(BOOL value) {
  custom_ = value;
  return S_OK;
}

HRESULT CZrDLMS::get_Tools(IZrTools** value) { return ports_.getTools(value); }

HRESULT CZrDLMS::GetNewIZrCosemObject(IZrCosemObject** result) {
  if (!result) return E_POINTER;
  return CZrCosemObject::createInstance(nullptr, IZrCosemObject::iid, reinterpret_cast<void**>(result));
}

HRESULT CZrDLMS::GetLastErrorStr(BSTR* result) {
  if (!result) return E_POINTER;
  int32_t value = 0;
  switch (lastError_) {
    case kErrGetFailed:
      value = getResult_;
      break;
    case kErrSetFailed:
      value = setResult_;
      break;
    case kErrActionFailed:
      value = actionResult_;
      break;
    case kErrAarqFailed:
      value = aareDiagnostic_;
      break;
    default:
      break;
  }
  char buffer[96];
  *result = zr::com::narrowBstr(LastErrorText(lastError_, value, buffer, sizeof buffer));
  return *result ? S_OK : E_OUTOFMEMORY;
}

HRESULT CZrDLMS::GetCommMsg(BOOL btx, BSTR* result) {
  if (!result) return E_POINTER;
  const std::string text = btx ? bufToHexText(link_.tx(), link_.txLength()) : bufToHexText(link_.rx(), link_.rxCount());
  *result = zr::com::narrowBstr(text);
  return *result ? S_OK : E_OUTOFMEMORY;
}

// ---- exchanges ------------------------------------------------------------------------

int CZrDLMS::requestRoom() const { return custom_ ? kApduSize : link_.requestRoom(); }

int CZrDLMS::exchange(int length, uint8_t expectedTag) {
  if (length <= 0) return failWith(kErrApduSize);
  if (!custom_) {
    if (!SendInformationFrame(apdu_, length)) return 0;
    return ReceiveInformationFrames(apdu_, expectedTag);
  }
  host_.write(apdu_, static_cast<size_t>(length));
  const uint32_t n = host_.available();
  if (n == 0) return failWith(kErrApduSize);
  return static_cast<int>(host_.read(apdu_, n));
}

int CZrDLMS::CosemAssociate() {
  if (!custom_) ResetChannel();
  associated_ = FALSE;
  const int L = BuildAarq(apdu_, authentication_, password_);
  if (!custom_ && !SendSnrm()) return 0;
  const int R = exchange(L, kTagAare);
  if (R <= 0) return 0;
  const AareOutcome aare = DecodeAare(apdu_, R, authentication_);
  if (aare.error) {
    if (aare.error == kErrAarqFailed) aareDiagnostic_ = aare.diagnostic;
    return failWith(aare.error);
  }
  if (!aare.challenge) {
    associated_ = TRUE;
    return 1;
  }
  return highLevelAuthentication(aare);
}

int CZrDLMS::highLevelAuthentication(const AareOutcome& aare) {
  auto refused = [this] {
    aareDiagnostic_ = kAuthDiagnosticFailed;
    return failWith(kErrAarqFailed);
  };
  std::memcpy(authBuffer_, apdu_ + aare.challengeStart, static_cast<size_t>(aare.challengeLength));
  LONG len = aare.challengeLength;
  BOOL success = FALSE;
  events_.fireArgs(_IZrDLMSEvents::kOnCosemAuthen, LONG{1}, reinterpret_cast<PTRBUF>(authBuffer_), &len, &success);
  if (!success) return refused();
  if (len < 0 || len > kMaxAuthAnswer) return failWith(kErrApduSize);

  zr::com::ComPtr<CZrCosemObject> reply = zr::com::ComPtr<CZrCosemObject>::attach(CZrCosemObject::create());
  if (!reply) throw zr::com::HResultError(E_OUTOFMEMORY);
  CosemData& o = reply->cosem();
  o.classId = 15;
  std::memcpy(o.obis, kAssociationObis, 6);
  o.index = 1;
  o.data[0] = 0x09;
  o.data[1] = static_cast<uint8_t>(len);
  std::memcpy(o.data + 2, authBuffer_, static_cast<size_t>(len));
  o.dataLen = len + 2;
  int acted = 0;
  {
    // The reply is an ordinary ACTION, run with the busy flag down as a host's would be.
    BusyFlag::Scope down(busy_, false);
    acted = doAction(o);
  }
  if (!acted) return 0;
  if (o.dataLen < 2) return refused();
  const int answer = o.dataLen - 2;
  if (answer > kAuthBufferSize) return failWith(kErrApduSize);
  std::memcpy(authBuffer_, o.data + 2, static_cast<size_t>(answer));
  len = answer;
  success = FALSE;
  events_.fireArgs(_IZrDLMSEvents::kOnCosemAuthen, LONG{2}, reinterpret_cast<PTRBUF>(authBuffer_), &len, &success);
  if (!success) return refused();
  associated_ = TRUE;
  return 1;
}

HRESULT CZrDLMS::CosemOpen(BOOL* result) {
  if (!result) return E_POINTER;
  *result = FALSE;
  return guard([&] {
    refuseWhileBusy(busy_);
    if ((authentication_ == 1 || authentication_ == 2) && password_.size() > static_cast<size_t>(kMaxPasswordBytes))
      throw zr::com::ComError(kPasswordTooLong);
    runExchange(
        busy_, controllingUnknown(),
        [&] {
          if (CosemAssociate()) {
            *result = TRUE;
          } else {
            CloseChannels();
          }
        },
        [this] { CloseChannels(); });
  });
}

HRESULT CZrDLMS::CosemRelease() {
  return guard([&] {
    refuseWhileBusy(busy_);
    if (!associated_) return;
    // The meter's answer does not matter: the association ends either way.
    auto end = [this] {
      associated_ = FALSE;
      CloseChannels();
    };
    runExchange(
        busy_, controllingUnknown(),
        [&] {
          if (!custom_) SendDisc();
          end();
        },
        end);
  });
}

int CZrDLMS::doGet(CosemData& o) {
  const int R = exchange(BuildGetRequest(apdu_, requestRoom(), o), kTagGetResponse);
  if (R <= 0) return 0;
  const int e = DecodeGetReply(apdu_, R, o);
  if (e == kErrGetFailed) getResult_ = o.accessResult;
  return e ? failWith(e) : 1;
}

int CZrDLMS::doSet(CosemData& o) {
  const int R = exchange(BuildSetRequest(apdu_, requestRoom(), o), kTagSetResponse);
  if (R <= 0) return 0;
  const int e = DecodeSetReply(apdu_, R, o);
  if (e == kErrSetFailed) setResult_ = o.accessResult;
  return e ? failWith(e) : 1;
}

int CZrDLMS::doAction(CosemData& o) {
  const int R = exchange(BuildActionRequest(apdu_, requestRoom(), o), kTagActionResponse);
  if (R <= 0) return 0;
  const int e = DecodeActionReply(apdu_, R, o);
  if (e == kErrActionFailed) actionResult_ = o.accessResult;
  return e ? failWith(e) : 1;
}

int CZrDLMS::doGetList(CosemData* const* items, int n) {
  const int R = exchange(BuildGetListRequest(apdu_, requestRoom(), items, n), kTagGetResponse);
  if (R <= 0) return 0;
  const int e = DecodeGetListReply(apdu_, R, items, n);
  return e ? failWith(e) : 1;
}

int CZrDLMS::doSetList(CosemData* const* items, int n) {
  const int R = exchange(BuildSetListRequest(apdu_, requestRoom(), items, n), kTagSetResponse);
  if (R <= 0) return 0;
  const int e = DecodeSetListReply(apdu_, R, items, n);
  return e ? failWith(e) : 1;
}

int CZrDLMS::doActionList(CosemData* const* items, int n) {
  const int R = exchange(BuildActionListRequest(apdu_, requestRoom(), items, n), kTagActionResponse);
  if (R <= 0) return 0;
  const int e = DecodeActionListReply(apdu_, R, items, n);
  return e ? failWith(e) : 1;
}

HRESULT CZrDLMS::runSingle(IZrCosemObject* cosem, BOOL* result, int (CZrDLMS::*service)(CosemData&)) {
  if (!result) return E_POINTER;
  *result = FALSE;
  if (!cosem) return E_POINTER;
  // Held: the host's reference may be the last one and a handler may drop it.
  const auto object = zr::com::implementationOf<CZrCosemObject>(cosem);
  if (!object) return E_INVALIDARG;
  return guard([&] {
    runExchange(busy_, controllingUnknown(), [&] {
      if ((this->*service)(object->cosem())) *result = TRUE;
    });
  });
}

HRESULT CZrDLMS::runList(IZrList* cosemList, BOOL* result, int (CZrDLMS::*service)(CosemData* const*, int)) {
  if (!result) return E_POINTER;
  *result = FALSE;
  if (!cosemList) return E_POINTER;
  const auto list = zr::com::implementationOf<CZrList>(cosemList);
  if (!list) return E_INVALIDARG;
  std::vector<zr::com::ComPtr<CZrCosemObject>> hold;
  std::vector<CosemData*> items;
  for (LONG k = 0; k < list->count(); ++k) {
    auto object = zr::com::implementationOf<CZrCosemObject>(list->items()[k]);
    if (!object) return E_INVALIDARG;
    items.push_back(&object->cosem());
    hold.push_back(std::move(object));
  }
  return guard([&] {
    runExchange(busy_, controllingUnknown(), [&] {
      // A count that does not fit its byte is refused by the request builders.
      if ((this->*service)(items.data(), static_cast<int>(items.size()))) *result = TRUE;
    });
  });
}

HRESULT CZrDLMS::CosemGet(IZrCosemObject* cosem, BOOL* result) { return runSingle(cosem, result, &CZrDLMS::doGet); }
HRESULT CZrDLMS::CosemSet(IZrCosemObject* cosem, BOOL* result) { return runSingle(cosem, result, &CZrDLMS::doSet); }
HRESULT CZrDLMS::CosemAction(IZrCosemObject* cosem, BOOL* result) {
  return runSingle(cosem, result, &CZrDLMS::doAction);
}
HRESULT CZrDLMS::CosemGetWithList(IZrList* cosemList, BOOL* result) {
  return runList(cosemList, result, &CZrDLMS::doGetList);
}
HRESULT CZrDLMS::CosemSetWithList(IZrList* cosemList, BOOL* result) {
  return runList(cosemList, result, &CZrDLMS::doSetList);
}
HRESULT CZrDLMS::CosemActionWithList(IZrList* cosemList, BOOL* result) {
  return runList(cosemList, result, &CZrDLMS::doActionList);
}

}  // namespace kavlink

using namespace zr::com;
using kavlink::IZrDLMS;

template <>
const DispTable& zr::com::dispatchTable<IZrDLMS>() {
  static const DispTable t{{
      propGet<&IZrDLMS::get_Serial>(u"Serial", 1),
      propGet<&IZrDLMS::get_socket>(u"socket", 2),
      propGet<&IZrDLMS::get_Authentioation>(u"Authentioation", 3),
      propPut<&IZrDLMS::put_Authentioation>(u"Authentioation", 3),
      propGet<&IZrDLMS::get_Password>(u"Password", 4),
      propPut<&IZrDLMS::put_Password>(u"Password", 4),
      propGet<&IZrDLMS::get_WaitTimeout>(u"WaitTimeout", 5),
      propPut<&IZrDLMS::put_WaitTimeout>(u"WaitTimeout", 5),
      propGet<&IZrDLMS::get_PhysicalAddr>(u"PhysicalAddr", 6),
      propPut<&IZrDLMS::put_PhysicalAddr>(u"PhysicalAddr", 6),
      propGet<&IZrDLMS::get_LogicalAddr>(u"LogicalAddr", 7),
      propPut<&IZrDLMS::put_LogicalAddr>(u"LogicalAddr", 7),
      propGet<&IZrDLMS::get_ClientAddr>(u"ClientAddr", 8),
      propPut<&IZrDLMS::put_ClientAddr>(u"ClientAddr", 8),
      propGet<&IZrDLMS::get_Channel>(u"Channel", 9),
      propPut<&IZrDLMS::put_Channel>(u"Channel", 9),
      propGet<&IZrDLMS::get_Custom>(u"Custom", 0xa),
      propPut<&IZrDLMS::put_Custom>(u"Custom", 0xa),
      propGet<&IZrDLMS::get_Tools>(u"Tools", 0xb),
      method<&IZrDLMS::GetNewIZrCosemObject>(u"GetNewIZrCosemObject", 0xc),
      method<&IZrDLMS::GetLastErrorStr>(u"GetLastErrorStr", 0xd),
      method<&IZrDLMS::GetCommMsg>(u"GetCommMsg", 0xe),
      method<&IZrDLMS::CosemOpen>(u"CosemOpen", 0xf),
      method<&IZrDLMS::CosemRelease>(u"CosemRelease", 0x10),
      method<&IZrDLMS::CosemGet>(u"CosemGet", 0x11),
      method<&IZrDLMS::CosemSet>(u"CosemSet", 0x12),
      method<&IZrDLMS::CosemAction>(u"CosemAction", 0x13),
      method<&IZrDLMS::CosemGetWithList>(u"CosemGetWithList", 0x15),
      method<&IZrDLMS::CosemSetWithList>(u"CosemSetWithList", 0x16),
      method<&IZrDLMS::CosemActionWithList>(u"CosemActionWithList", 0x17),
      method<&IZrDLMS::DlmsInitServer>(u"DlmsInitServer", 0x1e),
      method<&IZrDLMS::DlmsCheckRequest>(u"DlmsCheckRequest", 0x1f),
      method<&IZrDLMS::DlmsHandleRequest>(u"DlmsHandleRequest", 0x20),
      method<&IZrDLMS::CosemHandleRequest>(u"CosemHandleRequest", 0x21),
  }};
  return t;
}

namespace kavlink {
KAVLINK_CLASS(CZrDLMS, "ZrDLMS Class");
}  // namespace kavlink
