// Internal state of the message layer: the per-thread queue, the window registry and the
// record a cross-thread send waits on. Only the message layer's own sources include this.
//
// Locking: the registry mutex may be held while taking a queue mutex, never the other way
// round. A send record's own mutex is taken alone (never while holding another lock is
// required, but it is harmless after the others).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "msg/message_queue.h"

namespace zr::msg::detail {

// Handles are opaque numbers, never addresses: a stale handle can never reach freed memory
// and is never reused for a later window.
using WindowId = uintptr_t;

inline HWND toHandle(WindowId id) { return reinterpret_cast<HWND>(id << 4); }
inline WindowId toId(HWND hwnd) { return reinterpret_cast<uintptr_t>(hwnd) >> 4; }

enum class SendState { Pending, Done, Dropped, Abandoned };

// One cross-thread sendMessage. Shared by the sender and the owner's queue so that
// whichever side lets go last frees it.
struct SentMessage {
  WindowId window = 0;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  int senderWakeFd = -1;

  std::mutex m;
  SendState state = SendState::Pending;  // guarded by m
  LRESULT result = 0;                    // guarded by m
};

struct PostedMessage {
  WindowId window;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
};

class Queue {
 public:
  Queue();  // throws std::system_error when the descriptors cannot be made
  ~Queue();
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  // Readable while sent or posted messages are pending.
  int readyFd() const { return readyFd_; }
  // Kicked when a thread blocked in sendMessage has something to look at: its reply,
  // or a message sent to its own windows.
  int wakeFd() const { return wakeFd_; }

  // Both with m held: after adding a message, after removing one.
  void messageAddedLocked();
  void messageRemovedLocked();

  // Whether messages wait, for a quick look that may miss one just being added (whose
  // readyFd then wakes the next poll).
  bool pending() const { return signalled_.load(std::memory_order_relaxed); }

  void kickWake() const;
  void drainWake() const;

  std::mutex m;
  std::deque<PostedMessage> posted;               // guarded by m
  std::deque<std::shared_ptr<SentMessage>> sent;  // guarded by m

  // Touched only by the owner thread.
  bool quit = false;
  int quitCode = 0;

 private:
  int readyFd_ = -1;
  int wakeFd_ = -1;
  std::atomic<bool> signalled_{false};  // written with m held; read without it by pending()
};

struct WindowRec {
  std::string className;
  WindowProc proc = nullptr;
  std::shared_ptr<Queue> queue;
  std::vector<std::pair<std::string, void*>> props;
};

struct Registry {
  std::mutex m;
  std::unordered_map<WindowId, WindowRec> windows;
  WindowId nextId = 1;
};

Registry& registry();

// The calling thread's queue, made on first use (throws std::system_error when it cannot be).
Queue& currentQueue();
std::shared_ptr<Queue> currentQueueShared();
// The calling thread's queue when it already exists, else nullptr.
Queue* currentQueueIfAny();

// Settles a send record once; a record its sender abandoned is left alone.
void finishSend(SentMessage& s, SendState state, LRESULT result);

// Removes every message of the window from the queue and releases its senders.
void purgeWindow(Queue& q, WindowId id);

// Handles every pending sent message of the queue on the calling (owner) thread.
// Returns how many were taken off the queue.
int handleSentMessages(Queue& q);

// The procedure of a live window, or nullptr.
WindowProc procOf(WindowId id);

// Whether a pump on the calling thread would run anything: a message, or the host's hook.
bool pumpWouldRun();

}  // namespace zr::msg::detail
