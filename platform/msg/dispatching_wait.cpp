#include "msg/dispatching_wait.h"

#include <poll.h>

#include <algorithm>
#include <system_error>

#include "msg/message_queue.h"
#include "msg/queue_state.h"
#include "text/ticks.h"

namespace zr::msg {
namespace {

// A thread that can have no queue has nothing to dispatch. Most steps find nothing: the
// quick look spares them the pump's locks.
bool pumpGuarded() {
  if (!detail::pumpWouldRun()) return false;
  try {
    return pumpOne();
  } catch (const std::system_error&) {
    return false;
  }
}

enum class StepEnd { Fd, Queue, Time };

StepEnd step(int fd, uint32_t ms, bool withQueue) {
  if (withQueue) {
    try {
      switch (waitFdOrQueue(fd, POLLIN, static_cast<int>(ms))) {
        case WaitResult::Fd:
          return StepEnd::Fd;
        case WaitResult::Queue:
          return StepEnd::Queue;
        case WaitResult::Timeout:
          return StepEnd::Time;
      }
    } catch (const std::system_error&) {
      // No queue for this thread: a plain wait below.
    }
  }
  pollfd p{fd, POLLIN, 0};
  // A signal ends the step early; the caller looks at the time as after any step.
  return ::poll(&p, fd >= 0 ? 1 : 0, static_cast<int>(ms)) > 0 ? StepEnd::Fd : StepEnd::Time;
}

class FdInput final : public WaitInput {
 public:
  explicit FdInput(int fd) : fd_(fd) {}
  int fd() override { return fd_; }
  bool fdTells() const override { return true; }
  bool ready() override {
    if (fd_ < 0) return true;
    pollfd p{fd_, POLLIN, 0};
    // A failed look counts as ready: the caller's read tells what is wrong.
    return ::poll(&p, 1, 0) != 0;
  }

 private:
  int fd_;
};

}  // namespace

WaitEnd waitDispatching(WaitInput& input, uint32_t timeoutMs, bool blocking, const std::atomic<int>& stop) {
  const uint32_t start = text::tickCount();
  struct Bracket {
    WaitInput& input;
    explicit Bracket(WaitInput& in) : input(in) { input.beginWait(); }
    ~Bracket() { input.endWait(); }
  } bracket(input);

  // Input that is there already ends the wait before anything is dispatched. When nothing
  // would be dispatched, the first step's own poll is that look, and costs nothing extra
  // (input held back from the descriptor is asked for instead of that step).
  const bool look = input.fd() < 0 || (!blocking && detail::pumpWouldRun());
  if (look && input.ready()) return WaitEnd::Input;

  // Set when the queue woke the last step: if the next pump finds nothing to handle, the
  // following step does not watch the queue, so an odd queue state cannot spin.
  bool queueIdle = false;
  // Set when the descriptor woke the last step without the input: the following step does
  // not watch it, for the same reason (a line that has hung up stays readable).
  bool fdIdle = false;
  for (;;) {
    if (!blocking) queueIdle = !pumpGuarded() && queueIdle;
    const uint32_t spent = text::tickCount() - start;
    const uint32_t left = input.wholeSteps() ? kWaitStepMs : spent < timeoutMs ? timeoutMs - spent : 0;
    const int fd = input.fd();
    StepEnd end = StepEnd::Time;
    if (!input.held() && (fd >= 0 || !input.fdTells())) {
      end = step(fdIdle ? -1 : fd, std::clamp<uint32_t>(left, 1, kWaitStepMs), !blocking && !queueIdle);
    }
    queueIdle = end == StepEnd::Queue;
    if (stop.load(std::memory_order_relaxed) != 0) return WaitEnd::Stopped;
    if ((end == StepEnd::Fd && input.fdTells()) || input.ready()) return WaitEnd::Input;
    fdIdle = end == StepEnd::Fd;
    if (text::tickCount() - start >= timeoutMs) return WaitEnd::TimedOut;
  }
}

WaitEnd waitDispatching(int fd, uint32_t timeoutMs, bool blocking, const std::atomic<int>& stop) {
  FdInput input(fd);
  return waitDispatching(input, timeoutMs, blocking, stop);
}

}  // namespace zr::msg
