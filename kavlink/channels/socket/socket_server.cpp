#include "channels/socket/socket_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <new>
#include <system_error>
#include <utility>

#include "msg/message_queue.h"
#include "net/address.h"
#include "net/server_socket.h"
#include "net/wsa_error.h"

namespace kavlink {

namespace {

constexpr int kBacklog = 200;
constexpr int kStopStepMs = 20;
constexpr const char* kUnknownPeer = "<unknown>";

using Kind = zr::net::CompletionPort::Operation::Kind;

thread_local SocketServer* tHandling = nullptr;

std::string peerText(const zr::net::Endpoint& ep) {
  std::string text;
  if (zr::net::nameOf(ep, true, text) != 0) text = kUnknownPeer;
  return text;
}

}  // namespace

// One posted operation: 11 accept, 22 receive, 33 send.
struct SocketServer::IoRecord : zr::net::CompletionPort::Operation {
  static constexpr int kAccept = 11;
  static constexpr int kReceive = 22;
  static constexpr int kSend = 33;
  int operation = 0;
  std::atomic<int> busy{0};  // send records: a send is posted
  std::vector<char> storage;
};

// The listening socket, or one accepted connection.
struct SocketServer::SocketContext {
  ULONG handle = 0;
  zr::net::CompletionPort::Socket* socket = nullptr;
  int family = 0;
  std::atomic<int> state{kListening};
  std::atomic<int> pending{0};  // operations posted and not yet completed
  std::atomic<int> pendingSends{0};
  std::vector<std::unique_ptr<IoRecord>> accepts;
  std::vector<std::unique_ptr<IoRecord>> sends;
  std::vector<std::unique_ptr<IoRecord>> receives;
  std::mutex lock;
  std::atomic<int> reportClose{1};  // OnClose is still owed to the host
  std::string peerAddress;
  LONG peerPort = 0;
};

SocketServer::SocketServer(const ServerSettings& settings, ServerEvents* events)
    : settings_(settings), events_(events) {
  map_.reserve(5000);
}

SocketServer::~SocketServer() {
  stop();
  for (auto& [handle, ctx] : map_) {
    if (ctx->socket) port_.release(ctx->socket);
    delete ctx;
  }
  map_.clear();
}

LONG SocketServer::start() {
  if (port_.open() != 0) return kErrPort;
  auto completion = [this](void* key, zr::net::CompletionPort::Operation* op, size_t bytes, int error) {
    SocketServer* outer = std::exchange(tHandling, this);
    onIoCompleted(static_cast<SocketContext*>(key), static_cast<IoRecord*>(op), bytes, error);
    tHandling = outer;
  };
  if (port_.startWorkers(settings_.threads, completion, shared_from_this()) < settings_.threads) {
    stop();
    return kErrThread;
  }
  auto fail = [this](LONG code) {
    stop();
    return code;
  };
  try {
    listening_ = newSocketContext(settings_.family);
  } catch (const std::bad_alloc&) {
    return fail(kErrPort);
  }
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
  const int fd = made.fd;
  const bool stream = isStream();
  int error = 0;
  listening_->socket = port_.attach(fd, listening_, false, error);
  if (!listening_->socket) return fail(kErrPort);
  if (!newIoRecords(listening_, !stream)) return fail(kErrNoRecord);
  return 0;
}

void SocketServer::begin() {
  if (isStream()) {
    postAllAccepts();
    return;
  }
  for (auto& io : listening_->receives) postRecv(listening_, io.get());
}

void SocketServer::stop() {
  stopping_.store(true, std::memory_order_release);
  port_.stop();
  if (port_.onWorker()) {
    // The caller's own worker ends when its completion returns.
    while (!port_.waitStopped(kStopStepMs)) {
    }
    return;
  }
  while (!port_.waitStopped(0)) {
    // Handlers may be waiting for something this thread's windows do.
    try {
      zr::msg::pumpOne();
    } catch (const std::system_error&) {
    }
    port_.waitStopped(kStopStepMs);
  }
  port_.joinWorkers();
}

// ---- records ----------------------------------------------------------------------------

SocketServer::SocketContext* SocketServer::newSocketContext(int family) {
  auto ctx = std::make_unique<SocketContext>();
  ctx->family = family;
  std::lock_guard lock(lock_);
  // Handles go up and are not given twice while the server runs (0 is never one: it is
  // what a client's OnClose carries).
  do {
    ++lastHandle_;
  } while (lastHandle_ == 0 || map_.count(lastHandle_) != 0);
  ctx->handle = lastHandle_;
  map_.emplace(ctx->handle, ctx.get());
  return ctx.release();
}

bool SocketServer::newIoRecords(SocketContext* ctx, bool withReceives) {
  try {
    for (int i = 0; i < settings_.overlapped; ++i) {
      if (ctx == listening_ && isStream()) {
        ctx->accepts.push_back(std::make_unique<IoRecord>());
        continue;
      }
      auto rx = std::make_unique<IoRecord>();
      if (withReceives) rx->storage.assign(static_cast<size_t>(settings_.bufferSize), 0);
      ctx->receives.push_back(std::move(rx));
      ctx->sends.push_back(std::make_unique<IoRecord>());
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void SocketServer::freeSocketContext(SocketContext* ctx) {
  {
    std::lock_guard lock(lock_);
    if (ctx->pending.load() > 0) return;  // the last completion frees it
    map_.erase(ctx->handle);
  }
  if (ctx->socket) port_.release(ctx->socket);
  delete ctx;
}

// ---- posting ----------------------------------------------------------------------------
// The count goes up before the post: the completion may come on another worker before the
// post has returned.

bool SocketServer::postAccept(IoRecord* io) {
  io->operation = IoRecord::kAccept;
  io->kind = Kind::Accept;
  io->accepted = -1;
  ++listening_->pending;
  if (port_.post(listening_->socket, io) == 0) return true;
  --listening_->pending;
  return false;
}

void SocketServer::postAllAccepts() {
  for (auto& io : listening_->accepts) postAccept(io.get());
}

bool SocketServer::postRecv(SocketContext* ctx, IoRecord* io) {
  io->operation = IoRecord::kReceive;
  io->kind = isStream() ? Kind::Receive : Kind::ReceiveFrom;
  io->buffer = io->storage.data();
  io->size = io->storage.size();
  ++ctx->pending;
  if (port_.post(ctx->socket, io) == 0) return true;
  --ctx->pending;
  return false;
}

LONG SocketServer::postSend(ULONG handle, const char* data, size_t len) {
  SocketContext* ctx = nullptr;
  IoRecord* io = nullptr;
  {
    std::lock_guard lock(lock_);
    auto it = map_.find(handle);
    if (it == map_.end()) return kErrNoRecord;
    ctx = it->second;
    if (ctx->state.load() != kActive) return kErrNotActive;
    if (ctx->pendingSends.load() >= settings_.overlapped) return kErrTooManySends;
    for (auto& s : ctx->sends) {
      if (s->busy.load() == 0) {
        io = s.get();
        break;
      }
    }
    if (!io) return kErrNoSendSlot;
    io->busy = 1;
    ++ctx->pending;
    ++ctx->pendingSends;
  }
  // A copy: the host may reuse its buffer as soon as the call returns.
  io->storage.assign(data, data + len);
  io->operation = IoRecord::kSend;
  io->kind = Kind::Send;
  io->buffer = io->storage.data();
  io->size = len;
  const int error = port_.post(ctx->socket, io);
  if (error == 0) return 0;
  io->busy = 0;
  ctx->state = kClosing;
  --ctx->pendingSends;
  if (--ctx->pending == 0) {
    fireClose(ctx);
    freeSocketContext(ctx);
  }
  return error;
}

LONG SocketServer::postSendTo(const std::string& ip, LONG port, int family, int protocol, const char* data,
                              size_t len) {
  IoRecord* io = nullptr;
  {
    std::lock_guard lock(lock_);
    if (listening_->pendingSends.load() >= settings_.overlapped) return kErrTooManySends;
    for (auto& s : listening_->sends) {
      if (s->busy.load() == 0) {
        io = s.get();
        break;
      }
    }
    if (!io) return kErrNoSendSlot;
    io->busy = 1;
  }
  zr::net::Endpoint to;
  if (int error = zr::net::resolveFirst(ip.c_str(), port, zr::net::kResolvePassive | zr::net::kResolveNumericHost,
                                        family, protocol, to)) {
    io->busy = 0;
    return error;
  }
  io->storage.assign(data, data + len);
  io->operation = IoRecord::kSend;
  io->kind = Kind::SendTo;
  io->buffer = io->storage.data();
  io->size = len;
  io->peer = to;
  ++listening_->pending;
  ++listening_->pendingSends;
  if (int error = port_.post(listening_->socket, io)) {
    --listening_->pendingSends;
    --listening_->pending;
    io->busy = 0;
    return error;
  }
  return 0;
}

LONG SocketServer::closeSocket(ULONG handle) {
  std::lock_guard lock(lock_);
  auto it = map_.find(handle);
  if (it == map_.end()) return kErrNoRecord;
  SocketContext* ctx = it->second;
  if (ctx != listening_ && ctx->state.load() == kActive) {
    ctx->reportClose = 0;
    ctx->state = kClosing;
    // Its posted operations now complete with an error, and the last one frees it.
    port_.close(ctx->socket);
  }
  return 0;
}

SocketServer* SocketServer::handling(const ServerEvents* owner) {
  SocketServer* s = tHandling;
  return s && s->events_ == owner && s->live() ? s : nullptr;
}

LONG SocketServer::recordCount() {
  std::lock_guard lock(lock_);
  return static_cast<LONG>(map_.size());
}

int SocketServer::listeningSocket() const { return listening_ ? zr::net::CompletionPort::fd(listening_->socket) : -1; }

// ---- completions ------------------------------------------------------------------------

void SocketServer::fireClose(SocketContext* ctx) {
  // Once per connection, whichever path brings its count to 0 first.
  if (ctx->reportClose.exchange(0) != 0 && live()) events_->serverClosed(ctx->handle);
}

void SocketServer::connectionGone(SocketContext* ctx) {
  port_.close(ctx->socket);
  fireClose(ctx);
  freeSocketContext(ctx);
}

void SocketServer::onIoCompleted(SocketContext* ctx, IoRecord* io, size_t bytes, int error) {
  if (!live()) return;
  const bool stream = isStream();
  if (stream && error != 0) {
    ctx->state = kClosing;
    // A failed send leaves the receives waiting for readiness that may never come: the
    // connection's other operations end with it.
    if (ctx != listening_) port_.close(ctx->socket);
    if (--ctx->pending > 0) return;
    if (ctx != listening_) {
      {
        std::lock_guard lock(ctx->lock);
        fireClose(ctx);
      }
      port_.close(ctx->socket);
      freeSocketContext(ctx);
    } else {
      std::lock_guard lock(ctx->lock);
      ctx->state = kListening;
      postAllAccepts();
    }
    return;
  }

  std::unique_lock lock(ctx->lock);
  switch (io->operation) {
    case IoRecord::kAccept:
      acceptDone(io);
      break;
    case IoRecord::kReceive:
      receiveDone(ctx, io, bytes, error);
      break;
    case IoRecord::kSend:
      io->busy = 0;
      --ctx->pendingSends;
      break;
    default:
      break;
  }
  if (error != 0) ctx->state = kClosing;
  const int left = --ctx->pending;
  lock.unlock();
  if (left != 0 || ctx->state.load() != kClosing) return;
  if (ctx != listening_) {
    connectionGone(ctx);
  } else if (stream) {
    std::lock_guard again(ctx->lock);
    ctx->state = kListening;
    postAllAccepts();
  }
  // A UDP socket whose record closed receives nothing more.
}

void SocketServer::acceptDone(IoRecord* io) {
  const int fd = std::exchange(io->accepted, -1);
  // Each PostSend goes out at once: a host's answer in several sends would otherwise wait
  // for the peer's delayed acknowledgement of the first one (40 ms here).
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  // Whatever fails for the new connection, its accept slot is posted again.
  SocketContext* conn = nullptr;
  try {
    conn = newSocketContext(listening_->family);
  } catch (const std::bad_alloc&) {
    ::close(fd);
    postAccept(io);
    return;
  }
  conn->peerAddress = peerText(io->peer);
  conn->peerPort = io->peer.port();
  int error = 0;
  // Held back until OnAccept has returned, so that its handler comes before any other
  // event of the connection.
  conn->socket = port_.attach(fd, conn, true, error);
  if (!conn->socket) {
    freeSocketContext(conn);
    postAccept(io);
    return;
  }
  conn->state = kActive;
  if (!newIoRecords(conn, true)) {
    port_.resume(conn->socket);
    freeSocketContext(conn);
    postAccept(io);
    return;
  }
  bool all = true;
  {
    std::lock_guard lock(conn->lock);
    for (auto& rx : conn->receives) {
      if (!postRecv(conn, rx.get())) {
        all = false;
        break;
      }
    }
    if (all && live()) events_->serverAccepted(conn->handle, conn->peerAddress, conn->peerPort);
  }
  port_.resume(conn->socket);
  if (!all) {
    conn->reportClose = 0;
    conn->state = kClosing;
    if (conn->pending.load() > 0) {
      port_.close(conn->socket);  // the posted receives complete, the last one frees it
    } else {
      freeSocketContext(conn);
    }
  }
  postAccept(io);
}

void SocketServer::receiveDone(SocketContext* ctx, IoRecord* io, size_t bytes, int error) {
  if (isStream()) {
    if (bytes == 0) {
      ctx->state = kClosing;  // the peer has closed
      return;
    }
    if (live()) events_->serverReceived(ctx->handle, io->buffer, static_cast<LONG>(bytes));
    if (ctx->state.load() == kActive && !postRecv(ctx, io)) ctx->state = kClosing;
    return;
  }
  if (error == 0) {
    ctx->peerAddress = peerText(io->peer);
    ctx->peerPort = io->peer.port();
    if (live()) events_->serverReceivedFrom(ctx->peerAddress, ctx->peerPort, io->buffer, static_cast<LONG>(bytes));
  }
  if (!postRecv(ctx, io)) ctx->state = kClosing;
}

}  // namespace kavlink
