// The DLMS/COSEM control: an xDLMS logical-name client over HDLC on its own serial port or
// socket (or through the host with Custom), and the meter-side engine that lets a host
// play a meter.
//
// Threads: everything runs on the thread that called the method. The waits of the inner
// port and socket dispatch window messages, so host code can run inside an exchange; the
// busy flag refuses a second exchange then.
#pragma once

#include <kavlink/zr_dlms.h>

#include <string>

#include "engines/busy_flag.h"
#include "channels/control_ports.h"
#include "channels/host_channel.h"
#include "channels/socket/socket_channel.h"
#include "channels/socket/zr_socket.h"
#include "com/com_ptr.h"
#include "com/connection_point.h"
#include "com/dispatch.h"
#include "com/object.h"
#include "dlms/cosem_apdu.h"
#include "dlms/dlms_server.h"
#include "dlms/hdlc_client.h"

namespace kavlink {

class CZrCosemObject;

class CZrDLMS final : public zr::com::ComObject<CZrDLMS, zr::com::DispatchImpl<CZrDLMS, IZrDLMS>,
                                                zr::com::ConnectionPointContainerImpl, zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_ZrDLMS;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrDLMS.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrDLMS";
  static constexpr bool kAggregatable = true;

  static constexpr int kApduSize = HdlcClient::kApduSize;

  CZrDLMS();
  ~CZrDLMS() override;

  // ---- IZrDLMS
  HRESULT get_Serial(IZrSerial** value) override;
  HRESULT get_socket(IZrSocket** value) override;
  HRESULT get_Authentioation(LONG* value) override;
  HRESULT put_Authentioation(LONG value) override;
  HRESULT get_Password(BSTR* value) override;
  HRESULT put_Password(BSTR value) override;
  HRESULT get_WaitTimeout(LONG* value) override;
  HRESULT put_WaitTimeout(LONG value) override;
  HRESULT get_PhysicalAddr(USHORT* value) override;
  HRESULT put_PhysicalAddr(USHORT value) override;
  HRESULT get_LogicalAddr(USHORT* value) override;
  HRESULT put_LogicalAddr(USHORT value) override;
  HRESULT get_ClientAddr(BYTE* value) override;
  HRESULT put_ClientAddr(BYTE value) override;
  HRESULT get_Channel(LONG* value) override;
  HRESULT put_Channel(LONG value) override;
  HRESULT get_Custom(BOOL* value) override;
  HRESULT put_Custom(BOOL value) override;
  HRESULT get_Tools(IZrTools** value) override;
  HRESULT GetNewIZrCosemObject(IZrCosemObject** result) override;
  HRESULT GetLastErrorStr(BSTR* result) override;
  HRESULT GetCommMsg(BOOL btx, BSTR* result) override;
  HRESULT CosemOpen(BOOL* result) override;
  HRESULT CosemRelease() override;
  HRESULT CosemGet(IZrCosemObject* cosem, BOOL* result) override;
  HRESULT CosemSet(IZrCosemObject* cosem, BOOL* result) override;
  HRESULT CosemAction(IZrCosemObject* cosem, BOOL* result) override;
  HRESULT CosemGetWithList(IZrList* cosemList, BOOL* result) override;
  HRESULT CosemSetWithList(IZrList* cosemList, BOOL* result) override;
  HRESULT CosemActionWithList(IZrList* cosemList, BOOL* result) override;
  HRESULT DlmsInitServer() override;
  HRESULT DlmsCheckRequest(PTRBUF request, LONG len, LONG* result) override;
  HRESULT DlmsHandleRequest(PTRBUF response, LONG* result) override;
  HRESULT CosemHandleRequest(PTRBUF request, LONG len, PTRBUF response, LONG* result) override;

  // ---- the link (zr_dlms_link.cpp)
  static const char* LastErrorText(int32_t code, int32_t value, char* buffer, size_t size);
  LONG lastErrorCode() const { return lastError_; }

  // ---- the engine's host side (zr_dlms_server.cpp)
  static uint8_t ServerRequestCallback(CosemServerState* state, CosemServerRequest* request);
  uint8_t HandleServerRequest(CosemServerRequest& request);

 protected:
  HRESULT finalConstruct() override;

 private:
  using Service = int (*)(CZrDLMS& self, CosemData* const* items, int n);

  // Link (zr_dlms_link.cpp): the I/O around the HDLC client engine. Failures return 0
  // with the last error set, channel failures throw their text.
  int ParseHdlcFrame(int n);
  void ChannelSend(const uint8_t* bytes, int length);
  int ChannelReceive();
  int receiveFrame();
  // The channel of the exchange: the serial port on channel 0, else the socket.
  ByteChannel& port();
  void ResetChannel();
  void CloseChannels();
  int SendSnrm();
  int SendDisc();
  int SendInformationFrame(const uint8_t* apdu, int length);
  int ReceiveInformationFrames(uint8_t* buffer, uint8_t expectedTag);
  int failWith(int32_t code);
  void fireMsg(bool tx);

  // Services (zr_dlms.cpp).
  int requestRoom() const;
  int exchange(int length, uint8_t expectedTag);
  int CosemAssociate();
  int highLevelAuthentication(const AareOutcome& aare);
  HRESULT runSingle(IZrCosemObject* cosem, BOOL* result, int (CZrDLMS::*service)(CosemData&));
  HRESULT runList(IZrList* list, BOOL* result, int (CZrDLMS::*service)(CosemData* const*, int));
  int doGet(CosemData& o);
  int doSet(CosemData& o);
  int doAction(CosemData& o);
  int doGetList(CosemData* const* items, int n);
  int doSetList(CosemData* const* items, int n);
  int doActionList(CosemData* const* items, int n);

  zr::com::ConnectionPoint events_;
  ControlPorts ports_;
  zr::com::ComPtr<CZrSocket> socket_ = madeForControl(CZrSocket::create());
  SocketChannel socketChannel_{*socket_};
  int32_t lastError_ = 0;
  int32_t aareDiagnostic_ = 0;
  int32_t getResult_ = 0;
  int32_t setResult_ = 0;
  int32_t actionResult_ = 0;
  LONG channel_ = 0;
  BOOL custom_ = 0;
  // Frames, sequence numbers and reassembly; the addresses are its.
  HdlcClient link_;
  uint8_t apdu_[kApduSize] = {};
  BOOL associated_ = 0;
  LONG authentication_ = 0;
  std::string password_;
  LONG waitTimeout_ = 7000;
  BusyFlag busy_;
  uint8_t authBuffer_[kAuthBufferSize] = {};
  // The Custom path: the host carries each request in the APDU buffer and answers there.
  HostChannel host_;
  DlmsServerContext server_;
};

}  // namespace kavlink
