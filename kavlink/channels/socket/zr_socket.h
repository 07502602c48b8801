// CZrSocket: TCP and UDP for a host. It holds the settings, one client socket connected to
// one peer (this file's client side), and the server started by Listen.
//
// No member fails at the COM level: a failure is a FALSE or -1 result and the code that
// GetLastError reports (a Winsock code, or one of the object's own codes 101 to 114). The
// code stays until the next failure replaces it.
//
// Threads: the apartment model. The client's read and close notices come from a watcher
// thread as messages to a hidden window of the thread that called Connect, and fire the
// events there: in that thread's message loop, or inside a wait that dispatches messages.
// The server's events fire on its worker threads (socket_server.h); their handlers may call
// the server members (PostSend, CloseSocket, GetClientCount, Close) and GetLastError.
#pragma once

#include <kavlink/zr_socket.h>
#include <kavlink/zr_tools.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "channels/socket/socket_server.h"
#include "com/com_ptr.h"
#include "com/connection_point.h"
#include "com/dispatch.h"
#include "com/object.h"
#include "msg/message_queue.h"
#include "net/socket.h"
#include "net/socket_watcher.h"

namespace kavlink {

class CZrSocket final : public zr::com::ComObject<CZrSocket, zr::com::DispatchImpl<CZrSocket, IZrSocket>,
                                                  zr::com::ConnectionPointContainerImpl>,
                        private ServerEvents {
 public:
  static constexpr CLSID kClsid = CLSID_ZrSocket;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrSocket.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrSocket";
  static constexpr bool kAggregatable = false;

  // The object's own codes.
  static constexpr LONG kErrAlreadyConnected = 113;
  // The window message of the client's notices and its two notice kinds (low word of lParam).
  static constexpr zr::msg::UINT kNoticeMessage = 0x800;
  static constexpr zr::msg::LPARAM kFdRead = 1;
  static constexpr zr::msg::LPARAM kFdClose = 32;
  static constexpr const char* kWindowProp = "CZrSocket_WndProc";

  CZrSocket();
  ~CZrSocket() override;

  // Waits at most timeoutMs for the client socket to become readable, in steps of 20 ms
  // that dispatch one window message each unless Blocking is set. Returns 1 when it is
  // readable (or cannot be looked at: the following receive tells why), 0 when the time
  // is up or Stop was called during the wait.
  LONG WaitReadable(DWORD timeoutMs);
  // Recv for a caller of this module: up to length bytes of what the client socket holds,
  // into the given buffer, whatever BufferSize says; -1 with the last error set.
  LONG ReceiveInto(void* buffer, size_t length);
  // Send for a caller of this module: the whole buffer, or false with the last error set.
  bool SendFrom(const void* bytes, size_t length);
  // The fixed text of the current last error code; static, never freed by the caller.
  const char* ErrorText() const;
  // The fixed text of any code.
  static const char* ErrorTextOf(LONG code);
  // The hidden window of the client's notices; none unless connected with AutoEvent.
  zr::msg::HWND noticeWindow() const { return window_; }

  // ---- IZrSocket
  HRESULT get_Host(BSTR* value) override;
  HRESULT put_Host(BSTR value) override;
  HRESULT get_Port(LONG* value) override;
  HRESULT put_Port(LONG value) override;
  HRESULT get_BufferSize(LONG* value) override;
  HRESULT put_BufferSize(LONG value) override;
  HRESULT get_IpProtocol(TIpProtocol* value) override;
  HRESULT put_IpProtocol(TIpProtocol value) override;
  HRESULT get_Blocking(VARIANT_BOOL* value) override;
  HRESULT put_Blocking(VARIANT_BOOL value) override;
  HRESULT get_socket(LONG* value) override;
  HRESULT get_AddrFamily(TAddrFamily* value) override;
  HRESULT put_AddrFamily(TAddrFamily value) override;
  HRESULT get_OverlappedSize(LONG* value) override;
  HRESULT put_OverlappedSize(LONG value) override;
  HRESULT get_ThreadCount(LONG* value) override;
  HRESULT put_ThreadCount(LONG value) override;
  HRESULT get_Connected(VARIANT_BOOL* value) override;
  HRESULT get_Tools(IZrTools** value) override;
  HRESULT get_Broadcast(VARIANT_BOOL* value) override;
  HRESULT put_Broadcast(VARIANT_BOOL value) override;
  HRESULT get_AutoEvent(VARIANT_BOOL* value) override;
  HRESULT put_AutoEvent(VARIANT_BOOL value) override;
  HRESULT AboutBox() override;
  HRESULT Connect(VARIANT_BOOL* result) override;
  HRESULT Listen(VARIANT_BOOL* result) override;
  HRESULT Close() override;
  HRESULT PostSend(ULONG socket, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) override;
  HRESULT PostSendTo(BSTR ip, LONG Port, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) override;
  HRESULT Send(PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) override;
  HRESULT SendTo(BSTR ip, LONG Port, PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) override;
  HRESULT Recv(PTRBUF ptrBuf, LONG* result) override;
  HRESULT RecvFrom(BSTR* ip, LONG* Port, PTRBUF ptrBuf, LONG* result) override;
  HRESULT WaitForData(LONG timeout, LONG* result) override;
  HRESULT CloseSocket(ULONG socket) override;
  HRESULT GetLastError(LONG* result) override;
  HRESULT GetLastErrorStr(BSTR* result) override;
  HRESULT GetClientCount(LONG* result) override;
  HRESULT GetLocalIP(BSTR* result) override;
  HRESULT GetLocalHost(BSTR* result) override;
  HRESULT GetHostByIP(BSTR ip, BSTR* result) override;
  HRESULT GetIPByHost(BSTR Host, BSTR* result) override;
  HRESULT Stop() override;

 protected:
  HRESULT finalConstruct() override;

 private:
  friend zr::msg::LRESULT SocketEventWndProc(zr::msg::HWND, zr::msg::UINT, zr::msg::WPARAM, zr::msg::LPARAM);

  // Server side (zr_socket.cpp): the events of the running server.
  void serverAccepted(ULONG handle, const std::string& ip, LONG port) override;
  void serverReceived(ULONG handle, char* data, LONG len) override;
  void serverReceivedFrom(const std::string& ip, LONG port, char* data, LONG len) override;
  void serverClosed(ULONG handle) override;
  std::shared_ptr<SocketServer> runningServer();
  SocketServer* serverHere(std::shared_ptr<SocketServer>& hold);
  void stopServer();
  void joinStopped();

  // Client side (zr_socket_client.cpp).
  bool connectClient();
  void closeClient();
  bool startNotices();
  int startWatcher();
  void sinkAdvised();
  void onNotice(zr::msg::LPARAM notice);
  void receiveDone(const zr::net::IoResult& r);
  void closeSeen();
  bool failWith(int code);

  // ---- settings
  zr::com::ComPtr<IZrTools> tools_;
  std::string host_;
  LONG port_ = 0;
  LONG bufferSize_ = 2048;
  TIpProtocol protocol_ = ipTCP;
  TAddrFamily family_ = afIPv4;
  std::atomic<LONG> lastError_{0};  // also set by server members called on its workers
  VARIANT_BOOL blocking_ = VARIANT_FALSE;
  VARIANT_BOOL autoEvent_ = VARIANT_TRUE;
  LONG overlappedSize_ = 5;
  LONG threadCount_;
  std::atomic<int> stopRequest_{0};
  VARIANT_BOOL broadcast_ = VARIANT_FALSE;

  // ---- client
  zr::msg::HWND window_ = nullptr;
  VARIANT_BOOL connected_ = VARIANT_FALSE;
  zr::net::Socket socket_;
  // Runs only while a sink listens: the events are all a watcher is for.
  std::unique_ptr<zr::net::SocketWatcher> watcher_;
  bool closeNoticed_ = false;  // the owner has given the close notice itself
  unsigned connection_ = 0;    // counts connects, so a notice can tell its connection is gone

  // ---- server
  enum class ServerState : LONG { Starting = 0, Running = 1, Idle = 2, Stopping = 3 };
  std::atomic<ServerState> serverState_{ServerState::Idle};
  std::mutex serverMutex_;
  std::shared_ptr<SocketServer> server_;
  // A server stopped from one of its own handlers: that worker is joined by the next
  // Listen, Close or the destructor on another thread, not left to end the server itself.
  std::shared_ptr<SocketServer> stopped_;

  zr::com::ConnectionPoint events_;
};

// The hidden window's procedure: turns the watcher's notices into events.
zr::msg::LRESULT SocketEventWndProc(zr::msg::HWND hwnd, zr::msg::UINT msg, zr::msg::WPARAM wParam,
                                    zr::msg::LPARAM lParam);

}  // namespace kavlink
