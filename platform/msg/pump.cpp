// Pumping, waiting and the quit request of the calling thread's queue.
#include <poll.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>

#include "msg/message_queue.h"
#include "msg/queue_state.h"

namespace zr::msg {

using detail::PostedMessage;
using detail::Queue;

namespace {

struct HookSlot {
  std::mutex m;
  std::shared_ptr<const std::function<void()>> hook;
  std::atomic<bool> set{false};  // for a look without the lock
};

HookSlot& hookSlot() {
  static HookSlot* slot = new HookSlot;
  return *slot;
}

thread_local bool t_inHook = false;

// A hook that pumps (directly, or through a handler of the host's loop) must not run
// itself again from inside, or the nesting would never end.
void runHook() {
  if (t_inHook) return;
  std::shared_ptr<const std::function<void()>> hook;
  {
    HookSlot& slot = hookSlot();
    std::lock_guard lock(slot.m);
    hook = slot.hook;
  }
  if (!hook) return;
  struct Reset {
    ~Reset() { t_inHook = false; }
  } reset;
  t_inHook = true;
  (*hook)();
}

bool takePosted(Queue& q, PostedMessage& out) {
  std::lock_guard lock(q.m);
  if (q.posted.empty()) return false;
  out = q.posted.front();
  q.posted.pop_front();
  q.messageRemovedLocked();
  return true;
}

// Sent messages first, then one posted message. A quit request found in the queue
// becomes the thread's quit flag instead of being dispatched.
bool pumpQueue(Queue& q) {
  bool any = detail::handleSentMessages(q) > 0;
  PostedMessage p;
  if (!takePosted(q, p)) return any;
  if (p.msg == WM_QUIT) {
    q.quit = true;
    q.quitCode = static_cast<int>(p.wParam);
    return true;
  }
  if (WindowProc proc = detail::procOf(p.window)) proc(detail::toHandle(p.window), p.msg, p.wParam, p.lParam);
  return true;
}

}  // namespace

void postQuitMessage(int exitCode) {
  Queue& q = detail::currentQueue();
  q.quit = true;
  q.quitCode = exitCode;
}

bool quitRequested() {
  Queue* q = detail::currentQueueIfAny();
  return q && q->quit;
}

int quitCode() {
  Queue* q = detail::currentQueueIfAny();
  return q ? q->quitCode : 0;
}

bool pumpOne() {
  runHook();
  return pumpQueue(detail::currentQueue());
}

void pumpAll() {
  Queue& q = detail::currentQueue();
  // Only what is pending now: a procedure that keeps posting to itself must not keep the
  // host's loop here for ever. Whatever it adds keeps queueFd() readable.
  size_t budget;
  {
    std::lock_guard lock(q.m);
    budget = q.posted.size();
  }
  detail::handleSentMessages(q);
  while (budget-- > 0 && pumpQueue(q)) {
  }
}

int runMessageLoop() {
  Queue& q = detail::currentQueue();
  for (;;) {
    if (q.quit) {
      q.quit = false;
      return q.quitCode;
    }
    if (!pumpOne() && !q.quit) waitFdOrQueue(-1, 0, -1);
  }
}

int queueFd() { return detail::currentQueue().readyFd(); }

WaitResult waitFdOrQueue(int fd, short events, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  Queue& q = detail::currentQueue();
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    pollfd fds[2];
    int n = 0;
    if (fd >= 0) fds[n++] = {fd, events, 0};
    fds[n++] = {q.readyFd(), POLLIN, 0};
    int waitMs = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      waitMs = left > 0 ? static_cast<int>(left) : 0;
    }
    int r = poll(fds, n, waitMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "poll");
    }
    if (r == 0) {
      if (timeoutMs >= 0 && Clock::now() >= deadline) return WaitResult::Timeout;
      continue;
    }
    // As the system's multiple-object wait does, the object comes before the queue.
    if (fd >= 0 && fds[0].revents != 0) return WaitResult::Fd;
    return WaitResult::Queue;
  }
}

bool detail::pumpWouldRun() {
  if (hookSlot().set.load(std::memory_order_relaxed)) return true;
  Queue* q = detail::currentQueueIfAny();
  return q && q->pending();
}

void setPumpHook(std::function<void()> hook) {
  std::shared_ptr<const std::function<void()>> next;
  if (hook) next = std::make_shared<const std::function<void()>>(std::move(hook));
  HookSlot& slot = hookSlot();
  std::lock_guard lock(slot.m);
  slot.set.store(next != nullptr, std::memory_order_relaxed);
  slot.hook = std::move(next);
}

}  // namespace zr::msg
