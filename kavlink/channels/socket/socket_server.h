// The server of the socket object: a TCP or UDP listening socket on a completion port, the
// connection records of a TCP server, and the events its workers fire.
//
// Connection handles are 32-bit, increasing and never reused while one server runs, so a
// handle that outlived its connection finds nothing (105). A record's lock is taken before
// the map's locks, never after.
//
// Ownership: the connection map holds each record; the port holds a record's socket and
// the record itself until the socket's last completion, when the record leaves the map.
// Memory for data is taken while data is in flight: a receive reads into its worker's
// buffer, and a send copies only what the kernel did not take at once.
//
// Events fire on the worker threads: OnAccept under the listening record's and the new
// record's locks, OnRecv under the connection's, OnRecvFrom under the listening record's,
// OnClose after the record's lock is left. After the stop has begun nothing fires.
//
// The server lives in shared ownership: its workers hold it until their last completion
// has returned, so that a handler can stop it (the handler's own worker ends afterwards);
// its owner keeps it until it has joined that worker from another thread.
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
  int overlapped = 5;  // receives and sends in flight per socket
  int bufferSize = 2048;
  int port = 0;
  int family = 2;
  int protocol = 1;
  std::string host;
};

// The state of a connection record (the listening socket's included).
enum class RecordState : int { Listening = 55, Active = 44, Closing = 66 };

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

  SocketServer(const ServerSettings& settings, ServerEvents* events);
  ~SocketServer();
  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  // Makes the port, the workers and the bound listening socket. 0, or the failure code
  // (then everything made is stopped again).
  LONG start();
  // Posts the accepts (TCP) or receives (UDP): from now on events come.
  void begin();
  // Ends the workers and shuts every socket down, so that peers see the end at once. From
  // a worker of this server it waits for the others and returns false: the caller's own
  // ends when its completion returns (stop again from another thread to wait for it).
  // Elsewhere it waits for all of them, dispatching window messages meanwhile, and returns
  // true. No event fires once it has begun.
  bool stop();

  // 0 or a failure code. What cannot be sent at once is copied: the caller may reuse its
  // buffer as soon as the call returns.
  LONG postSend(ULONG handle, const char* data, size_t len);
  LONG postSendTo(const std::string& ip, LONG port, int family, int protocol, const char* data, size_t len);
  LONG closeSocket(ULONG handle);
  LONG recordCount() const { return records_.load(std::memory_order_acquire); }
  // The running server of owner whose completion the calling thread is handling, if any:
  // a handler's calls reach it without taking the owner's lock.
  static SocketServer* handling(const ServerEvents* owner);
  int listeningSocket() const;
  bool isStream() const { return settings_.protocol == 1; }
  int bufferSize() const { return settings_.bufferSize; }

 private:
  struct IoRecord;
  struct SendRecord;
  struct Connection;
  using ConnectionPtr = std::shared_ptr<Connection>;
  // The connection map in parts, each with its own lock, so that sends on different
  // connections do not wait for one another.
  struct Shard {
    std::mutex mutex;
    std::unordered_map<ULONG, ConnectionPtr> map;
  };
  static constexpr size_t kShards = 64;

  ConnectionPtr newConnection(int family);
  bool enter(const ConnectionPtr& c);
  Connection* find(ULONG handle, ConnectionPtr& hold);
  bool postAccept(IoRecord* io);
  bool postRecv(Connection* c);
  void onIoCompleted(Connection* c, IoRecord* io, size_t bytes, int error);
  void acceptDone(IoRecord* io, int error);
  void accepted(IoRecord* io);
  void receiveDone(Connection* c, IoRecord* io, size_t bytes, int error);
  void sendDone(Connection* c, SendRecord* io);
  void endConnection(Connection* c, bool afterSends = false);
  void retired(Connection* c);
  LONG queueRest(Connection* c, const char* data, size_t len, const zr::net::Endpoint* to);
  bool live() const { return !stopping_.load(std::memory_order_acquire); }

  const ServerSettings settings_;
  ServerEvents* const events_;
  zr::net::CompletionPort port_;
  std::atomic<bool> stopping_{false};
  ConnectionPtr listening_;

  Shard shards_[kShards];
  std::atomic<ULONG> lastHandle_{0};
  std::atomic<LONG> records_{0};
};

}  // namespace kavlink
