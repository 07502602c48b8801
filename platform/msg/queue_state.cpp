#include "msg/queue_state.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace zr::msg::detail {
namespace {

int makeEventFd() {
  int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  return fd;
}

void writeOne(int fd) {
  uint64_t one = 1;
  // Only EAGAIN (counter saturated) can fail here, and then the fd is readable anyway.
  while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void drain(int fd) {
  uint64_t value;
  while (read(fd, &value, sizeof value) < 0 && errno == EINTR) {
  }
}

// The thread's queue lives as long as the thread; when the thread ends its windows go
// with it, as they do when a thread of the window system ends, so that no sender waits
// for a thread that is gone.
struct ThreadQueue {
  std::shared_ptr<Queue> queue;

  ~ThreadQueue() {
    if (!queue) return;
    std::vector<WindowId> mine;
    {
      Registry& reg = registry();
      std::lock_guard lock(reg.m);
      for (auto it = reg.windows.begin(); it != reg.windows.end();) {
        if (it->second.queue == queue) {
          mine.push_back(it->first);
          it = reg.windows.erase(it);
        } else {
          ++it;
        }
      }
    }
    std::deque<std::shared_ptr<SentMessage>> orphans;
    {
      std::lock_guard lock(queue->m);
      queue->posted.clear();
      orphans.swap(queue->sent);
      queue->messageRemovedLocked();
    }
    for (auto& s : orphans) finishSend(*s, SendState::Dropped, 0);
  }
};

thread_local ThreadQueue t_queue;

}  // namespace

Queue::Queue() : readyFd_(makeEventFd()) {
  try {
    wakeFd_ = makeEventFd();
  } catch (...) {
    close(readyFd_);
    throw;
  }
}

Queue::~Queue() {
  close(readyFd_);
  close(wakeFd_);
}

void Queue::messageAddedLocked() {
  if (!signalled_.load(std::memory_order_relaxed)) {
    writeOne(readyFd_);
    signalled_.store(true, std::memory_order_relaxed);
  }
}

void Queue::messageRemovedLocked() {
  if (signalled_.load(std::memory_order_relaxed) && posted.empty() && sent.empty()) {
    drain(readyFd_);
    signalled_.store(false, std::memory_order_relaxed);
  }
}

void Queue::kickWake() const { writeOne(wakeFd_); }

void Queue::drainWake() const { drain(wakeFd_); }

Registry& registry() {
  // Never destroyed: threads may still end (and tidy their windows) while the process exits.
  static Registry* reg = new Registry;
  return *reg;
}

Queue& currentQueue() {
  // Every wait step asks: no shared_ptr copy (two atomic operations) for a reference.
  if (!t_queue.queue) t_queue.queue = std::make_shared<Queue>();
  return *t_queue.queue;
}

std::shared_ptr<Queue> currentQueueShared() {
  currentQueue();
  return t_queue.queue;
}

Queue* currentQueueIfAny() { return t_queue.queue.get(); }

void finishSend(SentMessage& s, SendState state, LRESULT result) {
  std::lock_guard lock(s.m);
  if (s.state != SendState::Pending) return;
  s.state = state;
  s.result = result;
  // The sender cannot leave sendMessage before it has seen the new state under s.m, so
  // its wake descriptor is still open here. A notification has nobody waiting.
  if (s.senderWakeFd >= 0) writeOne(s.senderWakeFd);
}

void purgeWindow(Queue& q, WindowId id) {
  std::vector<std::shared_ptr<SentMessage>> released;
  {
    std::lock_guard lock(q.m);
    std::erase_if(q.posted, [id](const PostedMessage& p) { return p.window == id; });
    for (auto it = q.sent.begin(); it != q.sent.end();) {
      if ((*it)->window == id) {
        released.push_back(std::move(*it));
        it = q.sent.erase(it);
      } else {
        ++it;
      }
    }
    q.messageRemovedLocked();
  }
  for (auto& s : released) finishSend(*s, SendState::Dropped, 0);
}

WindowProc procOf(WindowId id) {
  Registry& reg = registry();
  std::lock_guard lock(reg.m);
  auto it = reg.windows.find(id);
  return it == reg.windows.end() ? nullptr : it->second.proc;
}

int handleSentMessages(Queue& q) {
  int taken = 0;
  for (;;) {
    std::shared_ptr<SentMessage> s;
    {
      std::lock_guard lock(q.m);
      if (q.sent.empty()) break;
      s = std::move(q.sent.front());
      q.sent.pop_front();
      q.messageRemovedLocked();
    }
    ++taken;
    WindowProc proc = procOf(s->window);
    if (!proc) {
      finishSend(*s, SendState::Dropped, 0);
      continue;
    }
    LRESULT result;
    try {
      result = proc(toHandle(s->window), s->msg, s->wParam, s->lParam);
    } catch (...) {
      finishSend(*s, SendState::Dropped, 0);
      throw;
    }
    finishSend(*s, SendState::Done, result);
  }
  return taken;
}

}  // namespace zr::msg::detail
