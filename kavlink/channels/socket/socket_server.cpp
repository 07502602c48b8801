#include "channels/socket/socket_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include "msg/dispatching_wait.h"
#include "net/address.h"
#include "net/server_socket.h"
#include "net/wsa_error.h"

namespace kavlink {

namespace {

constexpr int kBacklog = 200;
constexpr int kStopStepMs = 20;
constexpr uint32_t kStopWaitMs = 1000;
constexpr const char* kUnknownPeer = "<unknown>";

using Kind = zr::net::CompletionPort::Operation::Kind;

// The server whose completion this thread is handling, and the connection it concerns.
thread_local SocketServer* tHandling = nullptr;
thread_local void* tConnection = nullptr;

std::string peerText(const zr::net::Endpoint& ep) {
  std::string text;
  if (zr::net::nameOf(ep, true, text) != 0) text = kUnknownPeer;
  return text;
}

}  // namespace

// One posted operation.
struct SocketServer::IoRecord : zr::net::CompletionPort::Operation {
  enum class Operation : int { Accept = 11, Receive = 22, Send = 33 };
  Operation operation = Operation::Receive;
};

// What the kernel did not take of one send, waiting for room.
struct SocketServer::SendRecord : IoRecord {
  std::unique_ptr<char[]> copy;
};

// The listening socket, or one accepted connection.
struct SocketServer::Connection {
  ULONG handle = 0;
  zr::net::CompletionPort::SocketPtr socket;
  int family = 0;
  std::atomic<RecordState> state{RecordState::Listening};
  std::atomic<bool> reportClose{true};  // OnClose is still owed to the host
  std::atomic<int> sendsInFlight{0};
  std::mutex lock;                // the record's lock: its completions are handled under it
  std::mutex sendLock;            // one send at a time: what one leaves is queued before the next begins
  IoRecord receive;               // reads into its worker's buffer: no memory while the line is idle
  std::vector<IoRecord> accepts;  // the listening TCP socket's
  std::string peerAddress;
  LONG peerPort = 0;
};

SocketServer::SocketServer(const ServerSettings& settings, ServerEvents* events)
    : settings_(settings), events_(events) {}

SocketServer::~SocketServer() {
  stop();
  for (Shard& shard : shards_) shard.map.clear();
}

LONG SocketServer::start() {
  if (port_.open(settings_.overlapped) != 0) return kErrPort;
  auto completion = [this](void* key, zr::net::CompletionPort::Operation* op, size_t bytes, int error) {
    SocketServer* outerServer = std::exchange(tHandling, this);
    void* outerConnection = std::exchange(tConnection, key);
    onIoCompleted(static_cast<Connection*>(key), static_cast<IoRecord*>(op), bytes, error);
    tHandling = outerServer;
    tConnection = outerConnection;
  };
  auto gone = [this](void* key) { retired(static_cast<Connection*>(key)); };
  if (port_.startWorkers(settings_.threads, completion, shared_from_this(), gone) < settings_.threads) {
    stop();
    return kErrThread;
  }
  auto fail = [this](LONG code) {
    stop();
    return code;
  };
  listening_ = newConnection(settings_.family);
  if (!listening_ || !enter(listening_)) return fail(kErrPort);
  const zr::net::ServerSocket made = zr::net::openServerSocket(settings_.family, isStream(), settings_.host.c_str(),
                                                               settings_.port, settings_.protocol, kBacklog);
  switch (made.failed) {
    case zr::net::ServerSocket::Step::None:
      break;
    case zr::net::ServerSocket::Step::Socket:
      return fail(kErrPort);
    case zr::net::ServerSocket::Step::Resolve:
    case zr::net::ServerSocket::Step::Bind:
      return fail(kErrBind);
    case zr::net::ServerSocket::Step::Listen:
      return fail(made.error);
  }
  int error = 0;
  listening_->socket = port_.attach(made.fd, listening_, error, isStream());
  if (!listening_->socket) return fail(kErrPort);
  try {
    if (isStream()) listening_->accepts.resize(static_cast<size_t>(settings_.overlapped));
  } catch (const std::bad_alloc&) {
    return fail(kErrNoRecord);
  }
  return 0;
}

void SocketServer::begin() {
  if (isStream()) {
    for (IoRecord& io : listening_->accepts) postAccept(&io);
    return;
  }
  postRecv(listening_.get());
}

bool SocketServer::stop() {
  stopping_.store(true, std::memory_order_release);
  port_.stop();
  if (port_.onWorker()) {
    // The caller's own worker ends when its completion returns.
    while (!port_.waitStopped(kStopStepMs)) {
    }
    return false;
  }
  // Handlers may be waiting for something this thread's windows do.
  const std::atomic<int> never{0};
  while (!port_.waitStopped(0) &&
         zr::msg::waitDispatching(port_.endedFd(), kStopWaitMs, false, never) != zr::msg::WaitEnd::Input) {
  }
  port_.joinWorkers();
  return true;
}

// ---- records ----------------------------------------------------------------------------

SocketServer::ConnectionPtr SocketServer::newConnection(int family) {
  ConnectionPtr c;
  try {
    c = std::make_shared<Connection>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  c->family = family;
  c->receive.operation = IoRecord::Operation::Receive;
  c->receive.kind = isStream() ? Kind::Receive : Kind::ReceiveFrom;
  c->receive.size = static_cast<size_t>(settings_.bufferSize);
  return c;
}

bool SocketServer::enter(const ConnectionPtr& c) {
  // Handles go up and are not given twice while the server runs (0 is never one: it is
  // what a client's OnClose carries).
  for (;;) {
    ULONG handle = lastHandle_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (handle == 0) continue;
    Shard& shard = shards_[handle % kShards];
    std::lock_guard lock(shard.mutex);
    if (shard.map.count(handle) != 0) continue;
    c->handle = handle;
    try {
      shard.map.emplace(handle, c);
    } catch (const std::bad_alloc&) {
      return false;
    }
    records_.fetch_add(1, std::memory_order_release);
    return true;
  }
}

SocketServer::Connection* SocketServer::find(ULONG handle, ConnectionPtr& hold) {
  // A handler that answers its own connection: the record is alive while it runs.
  if (tHandling == this && tConnection) {
    auto* c = static_cast<Connection*>(tConnection);
    if (c->handle == handle) return c;
  }
  Shard& shard = shards_[handle % kShards];
  std::lock_guard lock(shard.mutex);
  auto it = shard.map.find(handle);
  if (it == shard.map.end()) return nullptr;
  hold = it->second;
  return hold.get();
}

void SocketServer::retired(Connection* c) {
  // The socket's last completion has been delivered: the record goes, with OnClose unless
  // the host closed it or the server stops.
  if (c != listening_.get() && c->reportClose.exchange(false) && live()) events_->serverClosed(c->handle);
  ConnectionPtr last;
  Shard& shard = shards_[c->handle % kShards];
  std::lock_guard lock(shard.mutex);
  auto it = shard.map.find(c->handle);
  if (it != shard.map.end() && it->second.get() == c) {
    last = std::move(it->second);
    shard.map.erase(it);
    records_.fetch_sub(1, std::memory_order_release);
  }
}

void SocketServer::endConnection(Connection* c, bool afterSends) {
  c->state = RecordState::Closing;
  // Whatever is still queued on it completes as aborted (or, after sends, goes out
  // first), then the socket is retired.
  port_.close(c->socket.get(), afterSends);
}

// ---- posting ----------------------------------------------------------------------------

bool SocketServer::postAccept(IoRecord* io) {
  io->operation = IoRecord::Operation::Accept;
  io->kind = Kind::Accept;
  io->accepted = -1;
  return port_.post(listening_->socket.get(), io) == 0;
}

bool SocketServer::postRecv(Connection* c) {
  c->receive.buffer = nullptr;  // the worker's, when data is there
  return port_.post(c->socket.get(), &c->receive) == 0;
}

LONG SocketServer::queueRest(Connection* c, const char* data, size_t len, const zr::net::Endpoint* to) {
  // Under c->sendLock, with a send slot taken. A copy: the host may reuse its buffer at once.
  auto* io = new (std::nothrow) SendRecord;
  if (io) io->copy.reset(new (std::nothrow) char[len]);
  if (!io || !io->copy) {
    delete io;
    --c->sendsInFlight;
    // A connection that cannot keep what it was given to send ends, as a failed send does.
    if (c != listening_.get()) endConnection(c);
    return kErrNoSendSlot;
  }
  std::copy(data, data + len, io->copy.get());
  io->operation = IoRecord::Operation::Send;
  io->kind = to ? Kind::SendTo : Kind::Send;
  io->buffer = io->copy.get();
  io->size = len;
  if (to) io->peer = *to;
  if (int error = port_.post(c->socket.get(), io)) {
    delete io;
    --c->sendsInFlight;
    return error;
  }
  return 0;
}

LONG SocketServer::postSend(ULONG handle, const char* data, size_t len) {
  ConnectionPtr hold;
  Connection* c = find(handle, hold);
  if (!c) return kErrNoRecord;
  if (c->state.load() != RecordState::Active) return kErrNotActive;
  std::lock_guard lock(c->sendLock);
  if (c->sendsInFlight.fetch_add(1) >= settings_.overlapped) {
    --c->sendsInFlight;
    return kErrTooManySends;
  }
  size_t sent = 0;
  if (int error = port_.trySend(c->socket.get(), data, len, sent)) {
    // The peer is gone. Its receive, always posted while the connection is active, ends
    // the connection once it has read what came before the end.
    --c->sendsInFlight;
    return error;
  }
  if (sent == len) {
    --c->sendsInFlight;
    return 0;
  }
  return queueRest(c, data + sent, len - sent, nullptr);
}

LONG SocketServer::postSendTo(const std::string& ip, LONG port, int family, int protocol, const char* data,
                              size_t len) {
  Connection* c = listening_.get();
  zr::net::Endpoint to;
  std::lock_guard lock(c->sendLock);
  if (c->sendsInFlight.fetch_add(1) >= settings_.overlapped) {
    --c->sendsInFlight;
    return kErrTooManySends;
  }
  size_t sent = 0;
  int error = zr::net::resolveFirst(ip.c_str(), port, zr::net::kResolvePassive | zr::net::kResolveNumericHost, family,
                                    protocol, to);
  if (error == 0) error = port_.trySendTo(c->socket.get(), data, len, to, sent);
  if (error != 0 || sent == len) {
    --c->sendsInFlight;
    return error;
  }
  return queueRest(c, data, len, &to);
}

LONG SocketServer::closeSocket(ULONG handle) {
  ConnectionPtr hold;
  Connection* c = find(handle, hold);
  if (!c) return kErrNoRecord;
  if (c != listening_.get() && c->state.load() == RecordState::Active) {
    c->reportClose = false;
    endConnection(c);
  }
  return 0;
}

SocketServer* SocketServer::handling(const ServerEvents* owner) {
  SocketServer* s = tHandling;
  return s && s->events_ == owner && s->live() ? s : nullptr;
}

int SocketServer::listeningSocket() const {
  return listening_ ? zr::net::CompletionPort::fd(listening_->socket.get()) : -1;
}

// ---- completions ------------------------------------------------------------------------

void SocketServer::onIoCompleted(Connection* c, IoRecord* io, size_t bytes, int error) {
  if (!live()) return;
  switch (io->operation) {
    case IoRecord::Operation::Accept:
      acceptDone(io, error);
      break;
    case IoRecord::Operation::Receive:
      receiveDone(c, io, bytes, error);
      break;
    case IoRecord::Operation::Send:
      sendDone(c, static_cast<SendRecord*>(io));
      break;
  }
}

void SocketServer::acceptDone(IoRecord* io, int error) {
  if (error == zr::net::WSA_OPERATION_ABORTED) return;  // the listening socket is closing
  std::lock_guard lock(listening_->lock);
  if (error == 0) accepted(io);
  // Whatever became of the new connection, its accept slot is posted again.
  postAccept(io);
}

void SocketServer::accepted(IoRecord* io) {
  const int fd = std::exchange(io->accepted, -1);
  // Each PostSend goes out at once: a host's answer in several sends would otherwise wait
  // for the peer's delayed acknowledgement of the first one (40 ms here).
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  ConnectionPtr c = newConnection(listening_->family);
  if (!c) {
    ::close(fd);
    return;
  }
  c->peerAddress = peerText(io->peer);
  c->peerPort = io->peer.port();
  int error = 0;
  c->socket = port_.attach(fd, c, error);
  if (!c->socket) return;
  c->state = RecordState::Active;
  if (!enter(c)) {
    c->reportClose = false;
    endConnection(c.get());
    return;
  }
  {
    std::lock_guard lock(c->lock);
    if (live()) events_->serverAccepted(c->handle, c->peerAddress, c->peerPort);
  }
  // Only now, so that OnAccept comes before any other event of the connection without a
  // worker that has its first data waiting for this one.
  if (c->state.load() == RecordState::Active && !postRecv(c.get())) endConnection(c.get());
}

void SocketServer::receiveDone(Connection* c, IoRecord* io, size_t bytes, int error) {
  if (error == zr::net::WSA_OPERATION_ABORTED) return;  // closing: the record goes when retired
  std::lock_guard lock(c->lock);
  if (isStream()) {
    if (error != 0 || bytes == 0) {
      // Reset, or the peer has closed its sending side: what was already answered still
      // reaches it.
      endConnection(c, error == 0);
      return;
    }
    if (live()) events_->serverReceived(c->handle, io->buffer, static_cast<LONG>(bytes));
    if (c->state.load() == RecordState::Active && !postRecv(c)) endConnection(c);
    return;
  }
  if (error == 0) {
    c->peerAddress = peerText(io->peer);
    c->peerPort = io->peer.port();
    if (live()) events_->serverReceivedFrom(c->peerAddress, c->peerPort, io->buffer, static_cast<LONG>(bytes));
  }
  // A UDP socket whose receive cannot be posted again receives nothing more.
  if (!postRecv(c)) c->state = RecordState::Closing;
}

void SocketServer::sendDone(Connection* c, SendRecord* io) {
  // A failed send needs nothing more: the receive ends the connection (see postSend).
  delete io;
  --c->sendsInFlight;
}

}  // namespace kavlink
