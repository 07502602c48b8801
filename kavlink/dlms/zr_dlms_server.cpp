// CZrDLMS, the meter-side engine's members and its host side: every item a request
// carries goes to the host as a fresh COSEM object through OnCosemServer.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "com/host_buffer.h"
#include "dlms/zr_cosem_object.h"
#include "dlms/zr_dlms.h"

namespace kavlink {
namespace {

// The control that receives the engine requests of every control: the one that called
// DlmsInitServer last, until it goes.
std::mutex& slotMutex() {
  static std::mutex m;
  return m;
}
CZrDLMS*& serverSlot() {
  static CZrDLMS* slot = nullptr;
  return slot;
}

// Services whose item takes answer data from the host's object.
bool takesAnswer(uint8_t service) {
  return service == kServiceGet || service == kServiceAction || service == kServiceHighAuthStart ||
         service == kServiceHighAuthReply;
}

// The largest bare APDU the engine's 16-bit lengths can describe.
constexpr LONG kMaxBareApdu = 0xFFFF;

}  // namespace

CZrDLMS::~CZrDLMS() {
  std::lock_guard<std::mutex> lock(slotMutex());
  if (serverSlot() == this) serverSlot() = nullptr;
}

HRESULT CZrDLMS::DlmsInitServer() {
  {
    std::lock_guard<std::mutex> lock(slotMutex());
    serverSlot() = this;
  }
  DlmsServerInit(server_, link_.address.physical, link_.address.logical, static_cast<uint8_t>(authentication_ & 0xFF),
                 &CZrDLMS::ServerRequestCallback);
  return S_OK;
}

HRESULT CZrDLMS::DlmsCheckRequest(PTRBUF request, LONG len, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  if (len <= 0) return S_OK;
  const zr::com::HostBuffer in(request, len);
  if (!in.usable()) return E_POINTER;
  *result = HdlcServerReceive(server_, in.bytes(), len);
  return S_OK;
}

HRESULT CZrDLMS::DlmsHandleRequest(PTRBUF response, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  const zr::com::HostBuffer out(response, static_cast<LONG>(sizeof server_.frame));
  if (!out.usable()) return E_POINTER;
  const int n = HdlcServerHandleFrame(server_);
  if (n > 0) std::memcpy(out.bytes(), server_.frame, static_cast<size_t>(n));
  *result = n;
  return S_OK;
}

HRESULT CZrDLMS::CosemHandleRequest(PTRBUF request, LONG len, PTRBUF response, LONG* result) {
  if (!result) return E_POINTER;
  *result = 0;
  if (len <= 0 || len > kMaxBareApdu) return S_OK;
  const zr::com::HostBuffer in(request, len);
  const zr::com::HostBuffer out(response, static_cast<LONG>(sizeof server_.cosem.answer));
  if (!in.usable() || !out.usable()) return E_POINTER;
  const int n = CosemServerHandleApdu(server_.cosem, in.bytes(), len);
  std::memcpy(out.bytes(), server_.cosem.answer, static_cast<size_t>(n));
  *result = n;
  return S_OK;
}

uint8_t CZrDLMS::ServerRequestCallback(CosemServerState*, CosemServerRequest* request) {
  zr::com::ComPtr<IZrDLMS> control;
  {
    std::lock_guard<std::mutex> lock(slotMutex());
    if (CZrDLMS* c = serverSlot()) control = static_cast<IZrDLMS*>(c);
  }
  if (!control) return 0;
  return static_cast<CZrDLMS*>(control.get())->HandleServerRequest(*request);
}

uint8_t CZrDLMS::HandleServerRequest(CosemServerRequest& request) {
  // A value larger than a COSEM object holds cannot be shown to the host whole.
  if (request.dataLength > kCosemDataSize) return 0;
  auto object = zr::com::ComPtr<CZrCosemObject>::attach(CZrCosemObject::create());
  if (!object) return 0;
  CosemData& o = object->cosem();
  o.classId = request.classId;
  std::memcpy(o.obis, request.obis, 6);
  o.index = request.id;
  if (request.dataLength > 0) std::memcpy(o.data, request.data, request.dataLength);
  o.dataLen = request.dataLength;
  o.accessType = request.service;
  BOOL result = TRUE;
  events_.fireArgs(_IZrDLMSEvents::kOnCosemServer, static_cast<IZrCosemObject*>(object.get()), &result);
  if (takesAnswer(request.service)) {
    const int n = std::clamp<int>(o.dataLen, 0, kCosemDataSize);
    // An answer that would pass the end of the engine's answer buffer is refused unwritten.
    if (n > request.answerRoom) return 0;
    std::memcpy(request.answer, o.data, static_cast<size_t>(n));
    request.answerLength = static_cast<uint16_t>(n);
  }
  return result ? 1 : 0;
}

}  // namespace kavlink
