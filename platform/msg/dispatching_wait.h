// The component's wait for input: the caller's thread keeps handling its window messages
// while it waits, as a wait that peeks and dispatches does on Windows.
//
// The wait goes in steps of at most kWaitStepMs. Before each step it dispatches one message
// of the calling thread (unless blocking); the step ends early when the input's descriptor
// becomes readable or, while dispatching, when a message comes (handled by the next step).
// After each step the stop flag is looked at first, then the input, then the time.
#pragma once

#include <atomic>
#include <cstdint>

namespace zr::msg {

constexpr uint32_t kWaitStepMs = 20;

// What a wait waits for.
class WaitInput {
 public:
  // Readable while the input is there (or may be: see fdTells). Asked again for every step.
  // -1 when there is nothing to watch: the steps then last their time, or with fdTells
  // are not waited at all (a handler closed the descriptor: ready() has the last word).
  virtual int fd() = 0;
  // Whether a readable descriptor is the input itself, so the wait can end on it without
  // asking ready().
  virtual bool fdTells() const = 0;
  // Whether the input is there. Asked after every step that fdTells does not settle, and
  // before the first step when something would be dispatched ahead of it or there is no
  // descriptor (otherwise the first step's own poll is the first look).
  virtual bool ready() = 0;
  // Input already taken off the descriptor (by a handler that ran in the pump), which the
  // descriptor no longer shows: the next step is not waited.
  virtual bool held() { return false; }
  // Whether every step lasts a whole kWaitStepMs, so a wait lasts a whole number of steps;
  // else the last one is cut to the time left.
  virtual bool wholeSteps() const { return false; }
  // Around the whole wait, also when it ends by an exception.
  virtual void beginWait() {}
  virtual void endWait() {}

 protected:
  ~WaitInput() = default;
};

enum class WaitEnd { Input, Stopped, TimedOut };

// Waits at most timeoutMs (on the tick count: a wrap does no harm) for the input, or until
// stop becomes nonzero during a step. stop is not cleared here: the caller clears it when
// its wait begins, so a request made before has no effect.
WaitEnd waitDispatching(WaitInput& input, uint32_t timeoutMs, bool blocking, const std::atomic<int>& stop);

// The same for a descriptor that is readable exactly while the input is there; one that
// is -1 counts as ready at once (the caller's next read reports why).
WaitEnd waitDispatching(int fd, uint32_t timeoutMs, bool blocking, const std::atomic<int>& stop);

}  // namespace zr::msg
