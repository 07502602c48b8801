// Windows, their properties, and the two ways of handing a message to a window's thread.
#include "msg/message_queue.h"

#include <poll.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

#include "msg/queue_state.h"

namespace zr::msg {

using detail::Queue;
using detail::Registry;
using detail::SendState;
using detail::SentMessage;
using detail::toHandle;
using detail::toId;
using detail::WindowId;
using detail::WindowRec;

namespace {

WindowRec* findLocked(Registry& reg, HWND hwnd) {
  auto it = reg.windows.find(toId(hwnd));
  return it == reg.windows.end() ? nullptr : &it->second;
}

// The sender stops waiting. A message still queued is taken back; one whose procedure is
// already running is abandoned, and its result will be thrown away.
LRESULT giveUp(Queue& target, const std::shared_ptr<SentMessage>& rec, bool* handled) {
  {
    std::lock_guard lock(target.m);
    auto it = std::find(target.sent.begin(), target.sent.end(), rec);
    if (it != target.sent.end()) {
      target.sent.erase(it);
      target.messageRemovedLocked();
      return 0;
    }
  }
  std::lock_guard lock(rec->m);
  if (rec->state == SendState::Done) {
    if (handled) *handled = true;
    return rec->result;
  }
  if (rec->state == SendState::Pending) rec->state = SendState::Abandoned;
  return 0;
}

// Leaves the send record consistent when the wait ends by an exception (a procedure run
// while waiting threw): nobody may write to this thread's wake descriptor afterwards.
struct GiveUpOnUnwind {
  Queue& target;
  const std::shared_ptr<SentMessage>& rec;
  bool armed = true;
  ~GiveUpOnUnwind() {
    if (armed) giveUp(target, rec, nullptr);
  }
};

}  // namespace

HWND createWindow(const char* className, WindowProc proc) {
  if (!className || !proc) return nullptr;
  try {
    std::shared_ptr<Queue> queue = detail::currentQueueShared();
    Registry& reg = detail::registry();
    std::lock_guard lock(reg.m);
    WindowId id = reg.nextId++;
    reg.windows.emplace(id, WindowRec{className, proc, std::move(queue), {}});
    return toHandle(id);
  } catch (const std::system_error&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool destroyWindow(HWND hwnd) {
  Queue* self = detail::currentQueueIfAny();
  if (!self) return false;
  std::shared_ptr<Queue> queue;
  {
    Registry& reg = detail::registry();
    std::lock_guard lock(reg.m);
    auto it = reg.windows.find(toId(hwnd));
    if (it == reg.windows.end() || it->second.queue.get() != self) return false;
    queue = std::move(it->second.queue);
    reg.windows.erase(it);
  }
  // Nothing new can be queued for the window now: posting and sending check the registry
  // under its lock and queue under it.
  detail::purgeWindow(*queue, toId(hwnd));
  return true;
}

bool isWindow(HWND hwnd) {
  Registry& reg = detail::registry();
  std::lock_guard lock(reg.m);
  return findLocked(reg, hwnd) != nullptr;
}

bool setProp(HWND hwnd, const char* name, void* value) {
  if (!name) return false;
  Registry& reg = detail::registry();
  std::lock_guard lock(reg.m);
  WindowRec* w = findLocked(reg, hwnd);
  if (!w) return false;
  for (auto& [key, v] : w->props) {
    if (strcasecmp(key.c_str(), name) == 0) {
      v = value;
      return true;
    }
  }
  w->props.emplace_back(name, value);
  return true;
}

void* getProp(HWND hwnd, const char* name) {
  if (!name) return nullptr;
  Registry& reg = detail::registry();
  std::lock_guard lock(reg.m);
  WindowRec* w = findLocked(reg, hwnd);
  if (!w) return nullptr;
  for (auto& [key, v] : w->props) {
    if (strcasecmp(key.c_str(), name) == 0) return v;
  }
  return nullptr;
}

void* removeProp(HWND hwnd, const char* name) {
  if (!name) return nullptr;
  Registry& reg = detail::registry();
  std::lock_guard lock(reg.m);
  WindowRec* w = findLocked(reg, hwnd);
  if (!w) return nullptr;
  for (auto it = w->props.begin(); it != w->props.end(); ++it) {
    if (strcasecmp(it->first.c_str(), name) == 0) {
      void* v = it->second;
      w->props.erase(it);
      return v;
    }
  }
  return nullptr;
}

bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  Registry& reg = detail::registry();
  std::lock_guard lock(reg.m);
  WindowRec* w = findLocked(reg, hwnd);
  if (!w) return false;
  std::lock_guard qlock(w->queue->m);
  w->queue->posted.push_back({toId(hwnd), msg, wParam, lParam});
  w->queue->messageAddedLocked();
  return true;
}

bool notifyMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<SentMessage> rec;
  try {
    rec = std::make_shared<SentMessage>();
  } catch (const std::bad_alloc&) {
    return false;
  }
  rec->window = toId(hwnd);
  rec->msg = msg;
  rec->wParam = wParam;
  rec->lParam = lParam;
  Registry& reg = detail::registry();
  std::lock_guard lock(reg.m);
  WindowRec* w = findLocked(reg, hwnd);
  if (!w) return false;
  std::lock_guard qlock(w->queue->m);
  w->queue->sent.push_back(std::move(rec));
  w->queue->messageAddedLocked();
  // An owner blocked in a send of its own handles sent messages meanwhile.
  if (w->queue.get() != detail::currentQueueIfAny()) w->queue->kickWake();
  return true;
}

LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int cancelFd, bool* handled) {
  if (handled) *handled = false;
  std::shared_ptr<Queue> self;
  std::shared_ptr<Queue> target;
  std::shared_ptr<SentMessage> rec;
  try {
    self = detail::currentQueueShared();
    rec = std::make_shared<SentMessage>();
  } catch (const std::system_error&) {
    return 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
  rec->window = toId(hwnd);
  rec->msg = msg;
  rec->wParam = wParam;
  rec->lParam = lParam;
  rec->senderWakeFd = self->wakeFd();
  {
    Registry& reg = detail::registry();
    std::unique_lock lock(reg.m);
    WindowRec* w = findLocked(reg, hwnd);
    if (!w) return 0;
    if (w->queue == self) {
      WindowProc proc = w->proc;
      lock.unlock();
      LRESULT result = proc(hwnd, msg, wParam, lParam);
      if (handled) *handled = true;
      return result;
    }
    target = w->queue;
    std::lock_guard qlock(target->m);
    target->sent.push_back(rec);
    target->messageAddedLocked();
    // The owner may itself be blocked in a send: wake it so it handles this one.
    target->kickWake();
  }

  GiveUpOnUnwind guard{*target, rec};
  for (;;) {
    // Messages sent to this thread's own windows are handled while it waits, so two
    // threads sending to each other do not deadlock. A nested send may swallow a wake-up
    // meant for this one, which is why the state is looked at only after this.
    detail::handleSentMessages(*self);
    {
      std::lock_guard lock(rec->m);
      if (rec->state == SendState::Done) {
        guard.armed = false;
        if (handled) *handled = true;
        return rec->result;
      }
      if (rec->state == SendState::Dropped) {
        guard.armed = false;
        return 0;
      }
    }
    pollfd fds[2] = {{self->wakeFd(), POLLIN, 0}, {cancelFd, POLLIN, 0}};
    int n = poll(fds, cancelFd >= 0 ? 2 : 1, -1);
    if (n < 0 && errno != EINTR) break;
    if (n > 0 && cancelFd >= 0 && fds[1].revents != 0) break;
    self->drainWake();
  }
  guard.armed = false;
  return giveUp(*target, rec, handled);
}

}  // namespace zr::msg
