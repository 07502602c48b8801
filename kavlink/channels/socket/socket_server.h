// The server of the socket object: a TCP or UDP listening socket on a completion port, the
// connection records of a TCP server, and the events its workers fire.
//
// Connection handles are 32-bit, increasing and never reused while one server runs, so a
// handle that outlived its connection finds nothing (105). A record's lock is taken before
// the server lock, never after. Events fire on the worker threads: OnAccept under the
// listening record's and the new record's locks, OnRecv under the connection's,
// OnRecvFrom under the listening record's, OnClose after the record's lock is left. After
// the stop has begun nothing fires.
//
// The server lives in shared ownership: its workers hold it until their last completion
// has returned, so that a handler can stop it (the handler's own worker ends afterwards).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "com/com.h"
#include "net/completion_port.h"

namespace kavlink {

// What the server tells its owner (the socket object), always on a worker thread.
class ServerEvents {
 public:
  virtual void serverAccepted(ULONG handle, const std::string& ip, LONG port) = 0;
  virtual void serverReceived(ULONG handle, char* data, LONG len) = 0;
  virtual void serverReceivedFrom(const std::string& ip, LONG port, char* data, LONG len) = 0;
  virtual void serverClosed(ULONG handle) = 0;

 protected:
  ~ServerEvents() = default;
};

// The settings a server takes at its start.
struct ServerSettings {
  int threads = 1;
  int overlapped = 5;
  int bufferSize = 2048;
  int port = 0;
  int family = 2;
  int protocol = 1;
  std::string host;
};

class SocketServer : public std::enable_shared_from_this<SocketServer> {
 public:
  // The server's own failure codes.
  static constexpr LONG kErrPort = 101;
  static constexpr LONG kErrThread = 102;
  static constexpr LONG kErrNoRecord = 105;
  static constexpr LONG kErrTooManySends = 108;
  static constexpr LONG kErrNotIdle = 109;
  static constexpr LONG kErrNoSendSlot = 111;
  static constexpr LONG kErrNotActive = 112;
  static constexpr LONG kErrBind = 114;

  // Record states.
  static constexpr int kListening = 55;
  static constexpr int kActive = 44;
  static constexpr int kClosing = 66;

  SocketServer(const ServerSettings& settings, ServerEvents* events);
  ~SocketServer();
  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  // Makes the port, the workers and the bound listening socket. 0, or the failure code
  // (then everything made is stopped again).
  LONG start();
  // Posts the accepts (TCP) or receives (UDP): from now on events come.
  void begin();
  // Ends the workers: from a worker of this server, the others (the caller's own ends
  // when its completion returns); elsewhere all of them, dispatching window messages
  // while it waits. No event fires once it has begun.
  void stop();

  // 0 or a failure code. The bytes are copied: the caller may reuse its buffer at once.
  LONG postSend(ULONG handle, const char* data, size_t len);
  LONG postSendTo(const std::string& ip, LONG port, int family, int protocol, const char* data, size_t len);
  LONG closeSocket(ULONG handle);
  LONG recordCount();
  int listeningSocket() const;
  bool isStream() const { return settings_.protocol == 1; }
  int bufferSize() const { return settings_.bufferSize; }

 private:
  struct IoRecord;
  struct SocketContext;

  SocketContext* newSocketContext(int family);
  bool newIoRecords(SocketContext* ctx, bool withReceives);
  void freeSocketContext(SocketContext* ctx);
  bool postAccept(IoRecord* io);
  bool postRecv(SocketContext* ctx, IoRecord* io);
  void postAllAccepts();
  void onIoCompleted(SocketContext* ctx, IoRecord* io, size_t bytes, int error);
  void acceptDone(IoRecord* io);
  void receiveDone(SocketContext* ctx, IoRecord* io, size_t bytes, int error);
  void connectionGone(SocketContext* ctx);
  void fireClose(SocketContext* ctx);
  bool live() const { return !stopping_.load(std::memory_order_acquire); }

  const ServerSettings settings_;
  ServerEvents* const events_;
  zr::net::CompletionPort port_;
  std::atomic<bool> stopping_{false};
  SocketContext* listening_ = nullptr;

  std::mutex lock_;  // the server lock: the map and the choice of a send slot
  std::unordered_map<ULONG, SocketContext*> map_;
  ULONG lastHandle_ = 0;
};

}  // namespace kavlink
