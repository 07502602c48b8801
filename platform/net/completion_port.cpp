#include "net/completion_port.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <new>
#include <utility>

#include "net/wsa_error.h"

namespace zr::net {

namespace {

constexpr int kEventsPerWait = 64;
// What one turn's read takes at least when the socket has that much.
constexpr size_t kTurnBytes = 64 * 1024;
// How long a listening socket that found no descriptor for a connection is left alone,
// unless a socket of the port is closed before.
constexpr auto kRest = std::chrono::milliseconds(50);

using Op = CompletionPort::Operation;

struct OpQueue {
  Op* head = nullptr;
  Op* tail = nullptr;

  bool empty() const { return head == nullptr; }
  void push(Op* op) {
    op->next = nullptr;
    (tail ? tail->next : head) = op;
    tail = op;
  }
  Op* pop() {
    Op* op = head;
    head = op->next;
    if (!head) tail = nullptr;
    op->next = nullptr;
    return op;
  }
};

bool isRead(Op::Kind k) { return k == Op::Kind::Accept || k == Op::Kind::Receive || k == Op::Kind::ReceiveFrom; }

bool wouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

// The port and worker whose thread this is.
thread_local const void* tPort = nullptr;
thread_local void* tWorker = nullptr;

// What one attempt at an operation came to. Rest: the system has no room for it now (out
// of descriptors), and the socket stays readable: it is left alone for a while.
enum class Outcome { Done, WouldBlock, Retry, Rest };

bool outOfRoom(int err) { return err == EMFILE || err == ENFILE || err == ENOBUFS || err == ENOMEM; }

// Sends from data + sent until all of it is out: 0 then, else the errno that stopped it.
int sendSome(int fd, const char* data, size_t size, int flags, size_t& sent) {
  while (sent < size) {
    const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL | flags);
    if (n >= 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    const int err = errno;
    if (err != EINTR) return err;
  }
  return 0;
}

// Wakes whoever waits on the eventfd.
void signalEvent(int eventFd) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(eventFd, &one, sizeof(one));
}

ssize_t sendDatagram(int fd, const char* data, size_t size, const Endpoint& to) {
  for (;;) {
    const ssize_t n = ::sendto(fd, data, size, MSG_NOSIGNAL, to.sa(), to.len);
    // ECONNREFUSED is an earlier datagram's report of a port that was not there.
    if (n >= 0 || (errno != EINTR && errno != ECONNREFUSED)) return n;
  }
}

}  // namespace

struct CompletionPort::Worker {
  int epoll = -1;
  int wake = -1;  // closes asked for from other threads are waiting
  std::mutex mutex;
  std::vector<SocketPtr> closes;
  std::unordered_map<Socket*, SocketPtr> live;  // the port's own references
  // Lent to receives posted without one. Left uninitialised: only the pages reads fill
  // are ever touched, so a worker that serves small messages stays small.
  std::unique_ptr<char[]> buffer;
  size_t bufferSize = 0;
  // What this turn's one read brought and the receives have not been given yet.
  char* held = nullptr;
  size_t heldBytes = 0;
  // Listening sockets that ran out of descriptors, each with when it is watched again; only
  // this worker's thread touches them. restingCount mirrors their number for the others,
  // which set wakeResting when a socket's close frees a descriptor.
  std::vector<std::pair<SocketPtr, std::chrono::steady_clock::time_point>> resting;
  std::atomic<size_t> restingCount{0};
  std::atomic<bool> wakeResting{false};
  // Sockets attached by the completion this worker is delivering: in its turn until that
  // completion has returned (see attach). Only this worker's thread touches them.
  std::vector<Socket*> attached;

  // None when it cannot grow that far: the receive then fails, not the worker.
  char* lend(size_t size) {
    if (bufferSize < size) {
      char* larger = new (std::nothrow) char[size];
      if (!larger) return nullptr;
      buffer.reset(larger);
      bufferSize = size;
    }
    return buffer.get();
  }
  ~Worker() {
    for (int fd : {epoll, wake}) {
      if (fd >= 0) ::close(fd);
    }
  }
};

class CompletionPort::Socket : public std::enable_shared_from_this<Socket> {
 public:
  ~Socket() {
    if (fd >= 0) ::close(fd);
  }

  int fd = -1;
  std::shared_ptr<void> keyRef;  // until retired
  Worker* worker = nullptr;

  mutable std::mutex mutex;
  OpQueue reads;
  OpQueue sends;
  uint32_t watching = 0;  // the events asked of the worker's epoll set; 0: not in it
  bool inTurn = false;    // its worker is on it and looks at everything before it leaves
  bool closing = false;
  bool resting = false;  // its reads are not watched for a while (see kRest)
  // In every worker's set, edge-triggered and exclusive (a listening socket): whichever
  // worker the kernel wakes takes the turn. again: an edge came while another had it.
  bool shared = false;
  bool again = false;
  bool sendsFirst = false;  // closing once the queued sends are out
  bool dead = false;
  bool corked = false;  // a send of this turn was told more follows: the turn pushes it out

  Outcome performRead(Worker& w, Op* op, size_t& bytes, int& error);
  // Under mutex, as a turn ends. The last answer of the turn told the kernel more would
  // follow and none did: out now.
  void pushHeldBack() {
    if (!std::exchange(corked, false)) return;
    const int off = 0;
    ::setsockopt(fd, IPPROTO_TCP, TCP_CORK, &off, sizeof(off));
  }
  Outcome performSend(Op* op, size_t& bytes, int& error);
};

Outcome CompletionPort::Socket::performRead(Worker& w, Op* op, size_t& bytes, int& error) {
  ssize_t n = -1;
  switch (op->kind) {
    case Op::Kind::Accept:
      op->peer = Endpoint{};
      op->peer.len = sizeof(op->peer.addr);
      n = ::accept4(fd, op->peer.sa(), &op->peer.len, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (n >= 0) {
        op->accepted = static_cast<int>(n);
        return Outcome::Done;
      }
      // The connection stays in the backlog and the socket readable: trying again at once
      // would only spin.
      if (outOfRoom(errno)) return Outcome::Rest;
      break;
    case Op::Kind::Receive:
      n = ::recv(fd, op->buffer, op->size, 0);
      if (n >= 0) {
        bytes = static_cast<size_t>(n);
        return Outcome::Done;
      }
      break;
    case Op::Kind::ReceiveFrom:
      if (!op->buffer) op->buffer = w.lend(op->size);
      if (!op->buffer) {
        error = WSA_NOT_ENOUGH_MEMORY;
        return Outcome::Done;
      }
      op->peer = Endpoint{};
      op->peer.len = sizeof(op->peer.addr);
      n = ::recvfrom(fd, op->buffer, op->size, MSG_TRUNC, op->peer.sa(), &op->peer.len);
      if (n >= 0) {
        // The first size bytes of a longer datagram are kept; the rest is gone, as Windows says.
        const bool whole = static_cast<size_t>(n) <= op->size;
        bytes = whole ? static_cast<size_t>(n) : op->size;
        error = whole ? 0 : WSAEMSGSIZE;
        return Outcome::Done;
      }
      break;
    default:
      break;
  }
  const int err = errno;
  if (wouldBlock(err)) return Outcome::WouldBlock;
  // A connection that went away before it was taken, or a datagram whose earlier send
  // found no port: neither concerns the socket itself.
  if (err == EINTR || err == ECONNABORTED || (op->kind == Op::Kind::ReceiveFrom && err == ECONNREFUSED)) {
    return Outcome::Retry;
  }
  error = wsaFromErrno(err);
  return Outcome::Done;
}

Outcome CompletionPort::Socket::performSend(Op* op, size_t& bytes, int& error) {
  int err;
  if (op->kind == Op::Kind::SendTo) {
    const ssize_t n = sendDatagram(fd, op->buffer, op->size, op->peer);
    if (n >= 0) {
      bytes = static_cast<size_t>(n);
      return Outcome::Done;
    }
    err = errno;
  } else {
    err = sendSome(fd, op->buffer, op->size, 0, op->done);
    if (err == 0) {
      bytes = op->size;
      return Outcome::Done;
    }
  }
  if (wouldBlock(err)) return Outcome::WouldBlock;
  bytes = op->done;
  error = wsaFromErrno(err);
  return Outcome::Done;
}

CompletionPort::CompletionPort() = default;

CompletionPort::~CompletionPort() {
  stop();
  joinWorkers();
  {
    std::lock_guard lock(threadsMutex_);
    // A port let go of by its last worker: that thread ends by itself.
    for (std::thread& t : threads_) {
      if (t.joinable()) t.detach();
    }
  }
  // A socket and its key may hold each other until it is retired: the port lets go of the
  // keys, and the sockets still open are closed as their last owner lets go of them.
  for (auto& w : workers_) {
    for (auto& [raw, s] : w->live) {
      std::shared_ptr<void> key;
      std::lock_guard lock(s->mutex);
      key = std::move(s->keyRef);
    }
  }
  workers_.clear();
  for (int fd : {stop_, ended_fd_}) {
    if (fd >= 0) ::close(fd);
  }
}

int CompletionPort::open(int readsPerTurn) {
  readsPerTurn_ = std::max(1, readsPerTurn);
  stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_ < 0) return wsaFromErrno(errno);
  ended_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return ended_fd_ < 0 ? wsaFromErrno(errno) : 0;
}

int CompletionPort::startWorkers(int threads, Completion completion, std::shared_ptr<void> keepAlive, Retired retired) {
  completion_ = std::move(completion);
  retired_ = std::move(retired);
  std::lock_guard lock(threadsMutex_);
  int made = 0;
  for (; made < threads; ++made) {
    auto w = std::make_unique<Worker>();
    w->epoll = ::epoll_create1(EPOLL_CLOEXEC);
    w->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (w->epoll < 0 || w->wake < 0) break;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.ptr = &w->wake;
    if (::epoll_ctl(w->epoll, EPOLL_CTL_ADD, w->wake, &ev) != 0) break;
    ev.data.ptr = &stop_;
    if (::epoll_ctl(w->epoll, EPOLL_CTL_ADD, stop_, &ev) != 0) break;
    try {
      threads_.emplace_back(&CompletionPort::run, this, w.get(), keepAlive);
    } catch (const std::system_error&) {
      break;
    }
    ++running_;
    workers_.push_back(std::move(w));
  }
  return made;
}

bool CompletionPort::onWorker() { return tPort == this; }

CompletionPort::SocketPtr CompletionPort::attach(int fd, std::shared_ptr<void> key, int& error, bool shared) {
  error = 0;
  if (workers_.empty()) {
    error = WSAENOTSOCK;
    ::close(fd);
    return nullptr;
  }
  SocketPtr s;
  try {
    s = std::make_shared<Socket>();
  } catch (const std::bad_alloc&) {
    error = WSA_NOT_ENOUGH_MEMORY;
    ::close(fd);
    return nullptr;
  }
  s->fd = fd;
  s->keyRef = std::move(key);
  s->shared = shared;
  if (shared) {
    std::lock_guard lock(threadsMutex_);
    try {
      sharedRetired_.reserve(sharedRetired_.size() + 1);
    } catch (const std::bad_alloc&) {
      error = WSA_NOT_ENOUGH_MEMORY;
      return nullptr;  // closes fd
    }
  }
  s->worker = workers_[nextWorker_.fetch_add(1, std::memory_order_relaxed) % workers_.size()].get();
  auto* attaching = tPort == this ? static_cast<Worker*>(tWorker) : nullptr;
  if (attaching) {
    try {
      attaching->attached.push_back(s.get());
    } catch (const std::bad_alloc&) {
      error = WSA_NOT_ENOUGH_MEMORY;
      return nullptr;  // closes fd
    }
    s->inTurn = true;
  }
  std::lock_guard lock(s->worker->mutex);
  try {
    s->worker->live.emplace(s.get(), s);
  } catch (const std::bad_alloc&) {
    if (attaching) attaching->attached.pop_back();
    error = WSA_NOT_ENOUGH_MEMORY;
    return nullptr;  // closes fd
  }
  return s;
}

int CompletionPort::fd(const Socket* s) {
  if (!s) return -1;
  std::lock_guard lock(s->mutex);
  return s->fd;
}

void CompletionPort::watch(Socket* s) {
  // Under s->mutex. Level-triggered: what is left unread is reported again after the
  // other sockets' turns, the peer's end included.
  if (s->dead || (s->closing && !s->sendsFirst)) return;
  if (s->shared) {
    const bool want = !s->reads.empty() && !s->closing && !s->resting;
    if (want == (s->watching != 0)) return;
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLEXCLUSIVE | EPOLLET;
    ev.data.ptr = s;
    if (!want) {
      unwatch(s);
      return;
    }
    for (auto& w : workers_) ::epoll_ctl(w->epoll, EPOLL_CTL_ADD, s->fd, &ev);
    s->watching = ev.events;
    return;
  }
  const uint32_t want = (s->reads.empty() || s->closing || s->resting ? 0u : uint32_t{EPOLLIN | EPOLLRDHUP}) |
                        (s->sends.empty() ? 0u : EPOLLOUT);
  if (want == s->watching) return;
  epoll_event ev{};
  ev.events = want;
  ev.data.ptr = s;
  const int op = s->watching == 0 ? EPOLL_CTL_ADD : want == 0 ? EPOLL_CTL_DEL : EPOLL_CTL_MOD;
  if (::epoll_ctl(s->worker->epoll, op, s->fd, &ev) == 0) s->watching = want;
}

int CompletionPort::post(Socket* s, Operation* op) {
  op->next = nullptr;
  op->done = 0;
  std::lock_guard lock(s->mutex);
  if (s->closing || s->dead) return WSAENOTSOCK;
  (isRead(op->kind) ? s->reads : s->sends).push(op);
  if (!s->inTurn) watch(s);
  return 0;
}

int CompletionPort::trySend(Socket* s, const char* data, size_t size, size_t& sent) {
  sent = 0;
  std::lock_guard lock(s->mutex);
  if (s->closing || s->dead) return WSAENOTSOCK;
  if (!s->sends.empty()) return 0;  // after those
  // An answer from a handler of this turn while more of the turn's read is still to be
  // handed out: the answers to the rest follow at once, and they go out together, not a
  // packet (and a wake-up of the peer) each.
  const bool more = s->inTurn && tWorker == s->worker && s->worker->heldBytes > 0;
  const int err = sendSome(s->fd, data, size, more ? MSG_MORE : 0, sent);
  if (err != 0 && !wouldBlock(err)) return wsaFromErrno(err);
  // A send without more pushes out what the earlier ones left waiting.
  if (sent > 0) s->corked = more;
  return 0;
}

int CompletionPort::trySendTo(Socket* s, const char* data, size_t size, const Endpoint& to, size_t& sent) {
  sent = 0;
  std::lock_guard lock(s->mutex);
  if (s->closing || s->dead) return WSAENOTSOCK;
  if (!s->sends.empty()) return 0;
  if (sendDatagram(s->fd, data, size, to) >= 0) {
    sent = size;
    return 0;
  }
  return wouldBlock(errno) ? 0 : wsaFromErrno(errno);
}

void CompletionPort::close(Socket* s, bool afterSends) {
  SocketPtr keep;
  {
    std::lock_guard lock(s->mutex);
    if (s->dead) return;
    if (s->closing) {
      if (!s->sendsFirst || afterSends) return;
      s->sendsFirst = false;  // now at once
    } else {
      s->closing = true;
      s->sendsFirst = afterSends;
    }
    if (s->inTurn) return;  // its worker finishes the close before it leaves the socket
    keep = s->shared_from_this();
  }
  queueClose(std::move(keep));
}

void CompletionPort::queueClose(SocketPtr s) {
  Worker& w = *s->worker;
  {
    std::lock_guard lock(w.mutex);
    w.closes.push_back(std::move(s));
  }
  signalEvent(w.wake);
}

void CompletionPort::handOver(Worker& w) {
  for (Socket* s : w.attached) {
    SocketPtr closing;
    {
      std::lock_guard lock(s->mutex);
      s->inTurn = false;
      s->pushHeldBack();
      if (s->closing) {
        closing = s->shared_from_this();
      } else {
        watch(s);
      }
    }
    if (closing) queueClose(std::move(closing));
  }
  w.attached.clear();
}

void CompletionPort::retire(Socket* s, std::unique_lock<std::mutex>& lock) {
  // No worker performs anything on the descriptor once it is dead, so its number can be
  // given to another socket at once.
  s->dead = true;
  unwatch(s);
  ::close(std::exchange(s->fd, -1));
  lock.unlock();
  // The descriptor just freed may be what a resting listener waits for.
  for (auto& w : workers_) {
    if (w->restingCount.load(std::memory_order_acquire) == 0) continue;
    w->wakeResting.store(true);
    signalEvent(w->wake);
  }
  if (retired_ && !stopping()) retired_(s->keyRef.get());
  const std::shared_ptr<void> key = std::move(s->keyRef);
  SocketPtr last;
  {
    std::lock_guard guard(s->worker->mutex);
    auto it = s->worker->live.find(s);
    if (it != s->worker->live.end()) {
      last = std::move(it->second);
      s->worker->live.erase(it);
    }
  }
  if (last && s->shared) {
    // Another worker may still hold an event that names it: it stays until the port goes
    // (its place was reserved when it was attached).
    std::lock_guard guard(threadsMutex_);
    sharedRetired_.push_back(std::move(last));
  }
}

void CompletionPort::unwatch(Socket* s) {
  // Under s->mutex.
  if (!s->watching) return;
  if (s->shared) {
    for (auto& w : workers_) ::epoll_ctl(w->epoll, EPOLL_CTL_DEL, s->fd, nullptr);
  } else {
    ::epoll_ctl(s->worker->epoll, EPOLL_CTL_DEL, s->fd, nullptr);
  }
  s->watching = 0;
}

void CompletionPort::takeCloses(Worker& w) {
  std::vector<SocketPtr> batch;
  {
    std::lock_guard lock(w.mutex);
    batch.swap(w.closes);
    uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(w.wake, &count, sizeof(count));
  }
  for (const SocketPtr& s : batch) {
    if (!stopping()) turn(w, s.get(), 0);
  }
}

void CompletionPort::turn(Worker& w, Socket* s, uint32_t events) {
  std::unique_lock lock(s->mutex);
  if (s->dead) return;
  if (s->inTurn) {
    s->again = true;  // another worker has it, and looks again before it leaves
    return;
  }
  s->inTurn = true;
  w.heldBytes = 0;
  bool readable = (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
  bool writable = (events & (EPOLLOUT | EPOLLHUP | EPOLLERR)) != 0;
  // An edge-triggered socket is read until it would block: no other report may come.
  int reads = s->shared ? std::numeric_limits<int>::max() : readsPerTurn_;
  bool drained = false;
  while (!stopping()) {
    Op* op = nullptr;
    size_t bytes = 0;
    int error = 0;
    if (s->closing && (!s->reads.empty() || !s->sendsFirst || s->sends.empty())) {
      OpQueue& queue = s->reads.empty() ? s->sends : s->reads;
      if (queue.empty()) {
        retire(s, lock);
        return;
      }
      op = queue.pop();
      error = WSA_OPERATION_ABORTED;
    } else if (writable && !s->sends.empty()) {
      // Finished sends first: their slots are free again before the handlers of the
      // receives (which often answer with a send) run.
      const Outcome o = s->performSend(s->sends.head, bytes, error);
      if (o != Outcome::Done) {
        writable = false;
        continue;
      }
      op = s->sends.pop();
    } else if (((readable && reads > 0) || w.heldBytes > 0) && !s->reads.empty() && !s->closing) {
      op = s->reads.head;
      if (op->kind == Op::Kind::Receive && (w.heldBytes > 0 || !op->buffer)) {
        if (w.heldBytes == 0) {
          // One read for the turn, as large as the receives it may complete, handed out a
          // buffer at a time: no read is wasted on finding the socket empty. Small buffers
          // still take a turn's worth: a peer with several messages under way would else
          // need several rounds of its worker's sockets for what it sent at once.
          const size_t room = std::max(op->size * static_cast<size_t>(reads), kTurnBytes);
          char* into = w.lend(room);
          const ssize_t n = into ? ::recv(s->fd, into, room, 0) : -1;
          if (!into) {
            readable = false;
            error = WSA_NOT_ENOUGH_MEMORY;
          } else if (n < 0) {
            const int err = errno;
            if (err == EINTR) continue;
            readable = false;
            if (wouldBlock(err)) continue;
            error = wsaFromErrno(err);
          } else {
            // A short read took everything there was; whatever came after it (the peer's
            // end too) is reported again.
            if (static_cast<size_t>(n) < room) readable = false;
            w.held = into;
            w.heldBytes = static_cast<size_t>(n);
          }
        }
        if (error == 0) {
          bytes = std::min(op->size, w.heldBytes);
          if (op->buffer) {
            std::copy(w.held, w.held + bytes, op->buffer);
          } else {
            op->buffer = w.held;
          }
          w.held += bytes;
          w.heldBytes -= bytes;
        }
      } else {
        const Outcome o = s->performRead(w, op, bytes, error);
        if (o == Outcome::Retry) continue;
        if (o == Outcome::WouldBlock) {
          readable = false;
          drained = true;
          continue;
        }
        if (o == Outcome::Rest && rest(w, s)) {
          readable = false;
          drained = true;
          continue;
        }
        if (o == Outcome::Rest) error = WSA_NOT_ENOUGH_MEMORY;
        // As above; a failed accept waits for the next report too.
        if ((bytes < op->size && op->kind == Op::Kind::Receive) || error != 0) readable = false;
      }
      s->reads.pop();
      --reads;
    } else if (s->again) {
      s->again = false;
      readable = true;
      continue;
    } else {
      break;
    }
    lock.unlock();
    completion_(s->keyRef.get(), op, bytes, error);
    if (!w.attached.empty()) handOver(w);
    lock.lock();
  }
  s->inTurn = false;
  w.heldBytes = 0;  // a receive not posted again: its connection is closing
  s->pushHeldBack();
  // Left before it would block (nothing to read into, or a failed read): no edge reports
  // what is waiting, so it goes out of the sets and in again, which reports it.
  if (s->shared && !drained && !s->dead) unwatch(s);
  watch(s);
}

bool CompletionPort::rest(Worker& w, Socket* s) {
  // Under s->mutex, in its worker's turn: watch leaves its reads out when the turn ends.
  try {
    w.resting.emplace_back(s->shared_from_this(), std::chrono::steady_clock::now() + kRest);
  } catch (const std::bad_alloc&) {
    return false;
  }
  w.restingCount.store(w.resting.size(), std::memory_order_release);
  s->resting = true;
  return true;
}

void CompletionPort::wakeRested(Worker& w) {
  const bool all = w.wakeResting.exchange(false);
  const auto now = std::chrono::steady_clock::now();
  for (size_t i = 0; i < w.resting.size();) {
    if (!all && w.resting[i].second > now) {
      ++i;
      continue;
    }
    const SocketPtr s = std::move(w.resting[i].first);
    w.resting[i] = std::move(w.resting.back());
    w.resting.pop_back();
    std::lock_guard lock(s->mutex);
    s->resting = false;
    if (!s->inTurn) watch(s.get());
  }
  w.restingCount.store(w.resting.size(), std::memory_order_release);
}

int CompletionPort::waitTimeout(const Worker& w) {
  if (w.resting.empty()) return -1;
  auto first = w.resting.front().second;
  for (const auto& r : w.resting) first = std::min(first, r.second);
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(first - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

void CompletionPort::run(Worker* w, std::shared_ptr<void> keepAlive) {
  tPort = this;
  tWorker = w;
  epoll_event events[kEventsPerWait];
  while (!stopping()) {
    int n = ::epoll_wait(w->epoll, events, kEventsPerWait, waitTimeout(*w));
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    bool closes = false;
    for (int i = 0; i < n && !stopping(); ++i) {
      void* token = events[i].data.ptr;
      if (token == &stop_) break;
      if (token == &w->wake) {
        closes = true;  // after this batch: a socket it retires may have an event in it
        continue;
      }
      turn(*w, static_cast<Socket*>(token), events[i].events);
    }
    if (closes && !stopping()) takeCloses(*w);
    if (!w->resting.empty() && !stopping()) wakeRested(*w);
  }
  {
    std::lock_guard lock(threadsMutex_);
    if (--running_ == 0 && ended_fd_ >= 0) signalEvent(ended_fd_);
  }
  ended_.notify_all();
  // The last thing this thread does: it may end the port's life.
  keepAlive.reset();
}

void CompletionPort::stop() {
  if (stopping_.exchange(true, std::memory_order_acq_rel)) return;
  if (stop_ >= 0) signalEvent(stop_);
  // Not closed here: a worker may still be in a turn on the descriptor.
  for (auto& w : workers_) {
    std::lock_guard lock(w->mutex);
    for (auto& [raw, s] : w->live) {
      std::lock_guard socketLock(s->mutex);
      if (s->fd >= 0) ::shutdown(s->fd, SHUT_RDWR);
    }
  }
}

bool CompletionPort::waitStopped(int timeoutMs) {
  const bool self = onWorker();
  std::unique_lock lock(threadsMutex_);
  return ended_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return running_ <= (self ? 1 : 0); });
}

void CompletionPort::joinWorkers() {
  std::vector<std::thread> others;
  {
    std::lock_guard lock(threadsMutex_);
    for (std::thread& t : threads_) {
      if (t.joinable() && t.get_id() != std::this_thread::get_id()) others.push_back(std::move(t));
    }
  }
  for (std::thread& t : others) t.join();
}

}  // namespace zr::net
