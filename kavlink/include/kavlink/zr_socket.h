// IZrSocket and _IZrSocketEvents: TCP and UDP for a host, as a client and as a server.
#pragma once

#include "com/com.h"
#include "kavlink/zr_tools.h"

namespace kavlink {

enum TIpProtocol : LONG {
  ipTCP = 1,
  ipUDP = 2,
};

// The Winsock values of AF_INET and AF_INET6.
enum TAddrFamily : LONG {
  afIPv4 = 2,
  afIPv6 = 23,
};

// Members in vtable order. No member fails at the COM level: failures are a FALSE or -1
// result together with the code GetLastError reports.
struct IZrSocket : IDispatch {
  ZR_IID("D60936A6-C535-4195-A41B-29C765C74359");
  using Base = IDispatch;
  virtual HRESULT get_Host(BSTR* value) = 0;                                                          // 1
  virtual HRESULT put_Host(BSTR value) = 0;                                                           // 1
  virtual HRESULT get_Port(LONG* value) = 0;                                                          // 2
  virtual HRESULT put_Port(LONG value) = 0;                                                           // 2
  virtual HRESULT get_BufferSize(LONG* value) = 0;                                                    // 3
  virtual HRESULT put_BufferSize(LONG value) = 0;                                                     // 3
  virtual HRESULT get_IpProtocol(TIpProtocol* value) = 0;                                             // 4
  virtual HRESULT put_IpProtocol(TIpProtocol value) = 0;                                              // 4
  virtual HRESULT get_Blocking(VARIANT_BOOL* value) = 0;                                              // 5
  virtual HRESULT put_Blocking(VARIANT_BOOL value) = 0;                                               // 5
  virtual HRESULT get_socket(LONG* value) = 0;                                                        // 6
  virtual HRESULT get_AddrFamily(TAddrFamily* value) = 0;                                             // 7
  virtual HRESULT put_AddrFamily(TAddrFamily value) = 0;                                              // 7
  virtual HRESULT get_OverlappedSize(LONG* value) = 0;                                                // 8
  virtual HRESULT put_OverlappedSize(LONG value) = 0;                                                 // 8
  virtual HRESULT get_ThreadCount(LONG* value) = 0;                                                   // 9
  virtual HRESULT put_ThreadCount(LONG value) = 0;                                                    // 9
  virtual HRESULT get_Connected(VARIANT_BOOL* value) = 0;                                             // 33
  virtual HRESULT get_Tools(IZrTools** value) = 0;                                                    // 34
  virtual HRESULT get_Broadcast(VARIANT_BOOL* value) = 0;                                             // 35
  virtual HRESULT put_Broadcast(VARIANT_BOOL value) = 0;                                              // 35
  virtual HRESULT get_AutoEvent(VARIANT_BOOL* value) = 0;                                             // 36
  virtual HRESULT put_AutoEvent(VARIANT_BOOL value) = 0;                                              // 36
  virtual HRESULT AboutBox() = 0;                                                                     // -552
  virtual HRESULT Connect(VARIANT_BOOL* result) = 0;                                                  // 10
  virtual HRESULT Listen(VARIANT_BOOL* result) = 0;                                                   // 11
  virtual HRESULT Close() = 0;                                                                        // 12
  virtual HRESULT PostSend(ULONG socket, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) = 0;          // 13
  virtual HRESULT PostSendTo(BSTR ip, LONG Port, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) = 0;  // 14
  virtual HRESULT Send(PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) = 0;                            // 15
  virtual HRESULT SendTo(BSTR ip, LONG Port, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) = 0;      // 16
  virtual HRESULT Recv(PTRBUF ptrBuf, LONG* result) = 0;                                              // 17
  virtual HRESULT RecvFrom(BSTR* ip, LONG* Port, PTRBUF ptrBuf, LONG* result) = 0;                    // 18
  virtual HRESULT WaitForData(LONG timeout, LONG* result) = 0;                                        // 19
  virtual HRESULT CloseSocket(ULONG socket) = 0;                                                      // 20
  virtual HRESULT GetLastError(LONG* result) = 0;                                                     // 21
  virtual HRESULT GetLastErrorStr(BSTR* result) = 0;                                                  // 23
  virtual HRESULT GetClientCount(LONG* result) = 0;                                                   // 24
  virtual HRESULT GetLocalIP(BSTR* result) = 0;                                                       // 25
  virtual HRESULT GetLocalHost(BSTR* result) = 0;                                                     // 29
  virtual HRESULT GetHostByIP(BSTR ip, BSTR* result) = 0;                                             // 30
  virtual HRESULT GetIPByHost(BSTR Host, BSTR* result) = 0;                                           // 31
  virtual HRESULT Stop() = 0;                                                                         // 32
};

// The event interface (dispatch only): a sink implements IDispatch and answers these DISPIDs.
struct _IZrSocketEvents {
  ZR_IID("999A1172-E89C-45F0-BDF7-7A5599F3C4AF");
  static constexpr DISPID kOnAccept = 1;    // (UI4 socket, BSTR ip, I4 Port)
  static constexpr DISPID kOnRecv = 2;      // (UI4 socket, UI4 ptrBuf, I4 len)
  static constexpr DISPID kOnRecvFrom = 3;  // (BSTR ip, I4 Port, UI4 ptrBuf, I4 len)
  static constexpr DISPID kOnClose = 4;     // (UI4 socket)
};

constexpr CLSID CLSID_ZrSocket = zr::com::guid("1C6B5A5C-7405-4060-9B1C-0F416C27E99B");

}  // namespace kavlink
