#include "net/completion_port.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "net/wsa_error.h"

namespace zr::net {

namespace {

// epoll tokens of the port's own descriptors; a socket's token is its generation and slot.
constexpr uint64_t kWakeToken = ~uint64_t{0};
constexpr uint64_t kStopToken = ~uint64_t{0} - 1;
constexpr int kEventsPerWait = 64;

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

struct Done {
  Op* op;
  size_t bytes;
  int error;
};

bool isRead(Op::Kind k) { return k == Op::Kind::Accept || k == Op::Kind::Receive || k == Op::Kind::ReceiveFrom; }

bool wouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK; }

}  // namespace

class CompletionPort::Socket {
 public:
  int fd = -1;
  void* key = nullptr;
  uint64_t token = 0;
  std::atomic<int> refs{2};  // the table's and the owner's

  std::mutex mutex;
  OpQueue reads;
  OpQueue sends;
  uint32_t events = 0;  // seen while another worker (or the claimer) had the socket
  bool busy = false;
  bool kicked = false;
  bool readable = false;
  bool writable = true;
  // The peer has closed or reset: reads go on until they return 0 or the error, since
  // no new edge will announce that end.
  bool ended = false;
  bool closing = false;
  bool dead = false;

  bool hasWork() const {
    return events != 0 || closing || (readable && !reads.empty()) || (writable && !sends.empty());
  }
  void performReads(std::vector<Done>& done);
  void performSends(std::vector<Done>& done);
  void abortAll(std::vector<Done>& done) {
    while (!reads.empty()) done.push_back({reads.pop(), 0, WSA_OPERATION_ABORTED});
    while (!sends.empty()) done.push_back({sends.pop(), 0, WSA_OPERATION_ABORTED});
  }
};

void CompletionPort::Socket::performReads(std::vector<Done>& done) {
  while (readable && !reads.empty()) {
    Op* op = reads.head;
    ssize_t n = -1;
    switch (op->kind) {
      case Op::Kind::Accept:
        op->peer = Endpoint{};
        op->peer.len = sizeof(op->peer.addr);
        n = ::accept4(fd, op->peer.sa(), &op->peer.len, SOCK_CLOEXEC);
        if (n >= 0) {
          op->accepted = static_cast<int>(n);
          done.push_back({reads.pop(), 0, 0});
          continue;
        }
        break;
      case Op::Kind::Receive:
        n = ::recv(fd, op->buffer, op->size, 0);
        if (n >= 0) {
          done.push_back({reads.pop(), static_cast<size_t>(n), 0});
          // A short read took everything there was, and the next arrival is a new edge;
          // unless the end came in the same wake-up.
          if (n > 0 && static_cast<size_t>(n) < op->size && !ended) readable = false;
          continue;
        }
        break;
      case Op::Kind::ReceiveFrom:
        op->peer = Endpoint{};
        op->peer.len = sizeof(op->peer.addr);
        n = ::recvfrom(fd, op->buffer, op->size, MSG_TRUNC, op->peer.sa(), &op->peer.len);
        if (n >= 0) {
          // The first size bytes of a longer datagram are kept; the rest is gone, as Windows says.
          const bool whole = static_cast<size_t>(n) <= op->size;
          done.push_back({reads.pop(), whole ? static_cast<size_t>(n) : op->size, whole ? 0 : WSAEMSGSIZE});
          continue;
        }
        break;
      default:
        break;
    }
    const int err = errno;
    if (err == EINTR) continue;
    if (wouldBlock(err)) {
      readable = false;
      break;
    }
    // A connection that went away before it was taken, or a datagram whose earlier send
    // found no port: neither concerns the socket itself.
    if (err == ECONNABORTED || (op->kind == Op::Kind::ReceiveFrom && err == ECONNREFUSED)) continue;
    done.push_back({reads.pop(), 0, wsaFromErrno(err)});
    // Out of descriptors and the like: wait for the next readiness instead of spinning.
    if (op->kind == Op::Kind::Accept) readable = false;
  }
}

void CompletionPort::Socket::performSends(std::vector<Done>& done) {
  while (writable && !sends.empty()) {
    Op* op = sends.head;
    ssize_t n;
    if (op->kind == Op::Kind::SendTo) {
      n = ::sendto(fd, op->buffer, op->size, MSG_NOSIGNAL, op->peer.sa(), op->peer.len);
      if (n >= 0) {
        done.push_back({sends.pop(), static_cast<size_t>(n), 0});
        continue;
      }
    } else {
      if (op->done == op->size) {
        done.push_back({sends.pop(), op->size, 0});
        continue;
      }
      n = ::send(fd, op->buffer + op->done, op->size - op->done, MSG_NOSIGNAL);
      if (n >= 0) {
        op->done += static_cast<size_t>(n);
        if (op->done < op->size) {
          writable = false;  // the kernel took what it had room for
          break;
        }
        done.push_back({sends.pop(), op->size, 0});
        continue;
      }
    }
    const int err = errno;
    if (err == EINTR) continue;
    if (wouldBlock(err)) {
      writable = false;
      break;
    }
    if (op->kind == Op::Kind::SendTo && err == ECONNREFUSED) continue;  // an earlier datagram's report
    done.push_back({sends.pop(), op->done, wsaFromErrno(err)});
  }
}

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
  for (Socket* s : std::exchange(kicked_, {})) unref(s);
  for (Socket* s : table_) {
    if (!s) continue;
    if (s->fd >= 0) ::close(s->fd);
    delete s;
  }
  for (int fd : {epoll_, wake_, stop_}) {
    if (fd >= 0) ::close(fd);
  }
}

int CompletionPort::open() {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (epoll_ < 0 || wake_ < 0 || stop_ < 0) return wsaFromErrno(errno);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kWakeToken;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &ev) != 0) return wsaFromErrno(errno);
  ev.data.u64 = kStopToken;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, stop_, &ev) != 0) return wsaFromErrno(errno);
  return 0;
}

int CompletionPort::startWorkers(int threads, Completion completion, std::shared_ptr<void> keepAlive) {
  completion_ = std::move(completion);
  std::lock_guard lock(threadsMutex_);
  int made = 0;
  for (; made < threads; ++made) {
    try {
      threads_.emplace_back(&CompletionPort::run, this, keepAlive);
    } catch (const std::system_error&) {
      break;
    }
    ids_.push_back(threads_.back().get_id());
    ++running_;
  }
  return made;
}

bool CompletionPort::onWorker() {
  std::lock_guard lock(threadsMutex_);
  return std::find(ids_.begin(), ids_.end(), std::this_thread::get_id()) != ids_.end();
}

CompletionPort::Socket* CompletionPort::attach(int fd, void* key, bool claimed, int& error) {
  error = 0;
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    error = wsaFromErrno(errno);
    ::close(fd);
    return nullptr;
  }
  auto* s = new Socket;
  s->fd = fd;
  s->key = key;
  s->busy = claimed;
  {
    std::lock_guard lock(tableMutex_);
    uint32_t slot;
    if (!freeSlots_.empty()) {
      slot = freeSlots_.back();
      freeSlots_.pop_back();
    } else {
      slot = static_cast<uint32_t>(table_.size());
      table_.push_back(nullptr);
    }
    s->token = (uint64_t{++generation_} << 32) | slot;
    table_[slot] = s;
  }
  epoll_event ev{};
  ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
  ev.data.u64 = s->token;
  if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    error = wsaFromErrno(errno);
    std::unique_lock lock(s->mutex);
    retire(s);
    lock.unlock();
    unref(s);  // the table's
    unref(s);  // the owner's
    return nullptr;
  }
  return s;
}

int CompletionPort::fd(const Socket* s) { return s ? s->fd : -1; }

void CompletionPort::resume(Socket* s) {
  std::unique_lock lock(s->mutex);
  s->busy = false;
  const bool needed = !s->dead && s->hasWork() && !s->kicked;
  if (needed) {
    s->kicked = true;
    ++s->refs;
  }
  lock.unlock();
  if (needed) kick(s);
}

int CompletionPort::post(Socket* s, Operation* op) {
  op->next = nullptr;
  op->done = 0;
  std::unique_lock lock(s->mutex);
  if (s->closing || s->dead) return WSAENOTSOCK;
  const bool read = isRead(op->kind);
  (read ? s->reads : s->sends).push(op);
  // A socket that is ready already gives no new edge: a worker is asked to look at it.
  const bool needed = !s->busy && !s->kicked && (read ? s->readable : s->writable);
  if (needed) {
    s->kicked = true;
    ++s->refs;
  }
  lock.unlock();
  if (needed) kick(s);
  return 0;
}

void CompletionPort::close(Socket* s) {
  std::unique_lock lock(s->mutex);
  if (s->dead) return;
  s->closing = true;
  if (s->busy) return;  // its worker finishes the close when its completions return
  if ((s->reads.empty() && s->sends.empty()) || stopping()) {
    // Nothing is waiting for a completion (or none will be delivered any more).
    s->reads = {};
    s->sends = {};
    retire(s);
    lock.unlock();
    unref(s);
    return;
  }
  const bool needed = !s->kicked;
  if (needed) {
    s->kicked = true;
    ++s->refs;
  }
  lock.unlock();
  if (needed) kick(s);
}

void CompletionPort::release(Socket* s) {
  close(s);
  unref(s);
}

void CompletionPort::retire(Socket* s) {
  // Under s->mutex: no worker performs anything on the descriptor once it is dead, so its
  // number can be given to another socket at once.
  s->dead = true;
  if (s->fd >= 0) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, s->fd, nullptr);
    ::close(std::exchange(s->fd, -1));
  }
  std::lock_guard lock(tableMutex_);
  const auto slot = static_cast<uint32_t>(s->token & 0xFFFFFFFFu);
  if (slot < table_.size() && table_[slot] == s) {
    table_[slot] = nullptr;
    freeSlots_.push_back(slot);
  }
}

CompletionPort::Socket* CompletionPort::acquire(uint64_t token) {
  std::lock_guard lock(tableMutex_);
  const auto slot = static_cast<uint32_t>(token & 0xFFFFFFFFu);
  if (slot >= table_.size()) return nullptr;
  Socket* s = table_[slot];
  if (!s || s->token != token) return nullptr;
  ++s->refs;
  return s;
}

void CompletionPort::unref(Socket* s) {
  if (s->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete s;
}

void CompletionPort::kick(Socket* s) {
  std::lock_guard lock(kickMutex_);
  kicked_.push_back(s);
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof(one));
}

void CompletionPort::takeKicks() {
  std::vector<Socket*> batch;
  {
    std::lock_guard lock(kickMutex_);
    batch.swap(kicked_);
    uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(wake_, &count, sizeof(count));
  }
  for (size_t i = 0; i < batch.size(); ++i) {
    Socket* s = batch[i];
    if (!stopping()) {
      {
        std::lock_guard lock(s->mutex);
        s->kicked = false;
      }
      work(s, 0);
    }
    unref(s);
  }
}

void CompletionPort::work(Socket* s, uint32_t events) {
  std::unique_lock lock(s->mutex);
  s->events |= events;
  if (s->busy || s->dead) return;  // whoever has it takes the events up
  s->busy = true;
  bool retired = false;
  std::vector<Done> done;
  for (;;) {
    const uint32_t ev = std::exchange(s->events, 0);
    if (ev & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) s->readable = true;
    if (ev & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) s->ended = true;
    if (ev & (EPOLLOUT | EPOLLHUP | EPOLLERR)) s->writable = true;
    if (s->closing) {
      s->abortAll(done);
      if (!s->dead) {
        retire(s);
        retired = true;
      }
    } else {
      // Finished sends first: their slots are free again before the handlers of the
      // receives (which often answer with a send) run.
      s->performSends(done);
      s->performReads(done);
    }
    if (done.empty() && s->events == 0) break;
    lock.unlock();
    for (const Done& d : done) {
      if (stopping()) break;
      completion_(s->key, d.op, d.bytes, d.error);
    }
    done.clear();
    lock.lock();
    if (stopping()) break;
  }
  s->busy = false;
  lock.unlock();
  if (retired) unref(s);
}

void CompletionPort::run(std::shared_ptr<void> keepAlive) {
  epoll_event events[kEventsPerWait];
  while (!stopping()) {
    int n = ::epoll_wait(epoll_, events, kEventsPerWait, -1);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < n && !stopping(); ++i) {
      const uint64_t token = events[i].data.u64;
      if (token == kStopToken) break;
      if (token == kWakeToken) {
        takeKicks();
        continue;
      }
      if (Socket* s = acquire(token)) {
        work(s, events[i].events);
        unref(s);
      }
    }
  }
  {
    std::lock_guard lock(threadsMutex_);
    --running_;
  }
  ended_.notify_all();
  // The last thing this thread does: it may end the port's life.
  keepAlive.reset();
}

void CompletionPort::stop() {
  if (stopping_.exchange(true, std::memory_order_acq_rel)) return;
  if (stop_ >= 0) {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stop_, &one, sizeof(one));
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
