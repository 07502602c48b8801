#include "msg/dispatching_wait.h"

#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "msg/message_queue.h"

namespace zr::msg {
namespace {

// A pipe whose read end is what the wait watches.
struct Pipe {
  Pipe() { EXPECT_EQ(pipe(fds), 0); }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
  void fill() const { EXPECT_EQ(write(fds[1], "x", 1), 1); }
  int fds[2];
};

// What a message handled during the wait does, reached through window properties.
enum class Act { Nothing, Input, StopAndInput };
struct Handler {
  Act act = Act::Nothing;
  const Pipe* pipe = nullptr;
  std::atomic<int>* stop = nullptr;
  int runs = 0;
};

LRESULT actingProc(HWND hwnd, UINT, WPARAM, LPARAM) {
  auto* h = static_cast<Handler*>(getProp(hwnd, "handler"));
  ++h->runs;
  if (h->act == Act::StopAndInput) *h->stop = 1;
  if (h->act != Act::Nothing) h->pipe->fill();
  return 0;
}

TEST(DispatchingWait, EndsForInputOrStopAndDispatchesOnlyWhenItMay) {
  struct Case {
    const char* name;
    bool inputFirst;  // there before the wait begins
    bool message;     // one message waits for the handler
    Act act;
    bool hook;
    bool blocking;
    uint32_t timeoutMs;
    WaitEnd expected;
    int runs;  // of the handler and of the hook together
  };
  const Case cases[] = {
      {"input there first, message waiting", true, true, Act::Nothing, false, false, 5000, WaitEnd::Input, 0},
      {"input there first, host hook", true, false, Act::Nothing, true, false, 5000, WaitEnd::Input, 0},
      {"handler brings the input", false, true, Act::Input, false, false, 5000, WaitEnd::Input, 1},
      {"stop comes before input", false, true, Act::StopAndInput, false, false, 5000, WaitEnd::Stopped, 1},
      {"blocking dispatches nothing", false, true, Act::Input, false, true, 40, WaitEnd::TimedOut, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::thread([&c] {
      Pipe pipe;
      std::atomic<int> stop{0};
      Handler handler{c.act, &pipe, &stop};
      if (c.inputFirst) pipe.fill();
      HWND w = createWindow("ZrWaitTestWindow", &actingProc);
      setProp(w, "handler", &handler);
      if (c.message) postMessage(w, WM_USER, 0, 0);
      if (c.hook) setPumpHook([&handler] { ++handler.runs; });
      EXPECT_EQ(waitDispatching(pipe.fds[0], c.timeoutMs, c.blocking, stop), c.expected);
      setPumpHook({});
      EXPECT_EQ(handler.runs, c.runs);
    }).join();
  }
}

// An input the descriptor does not settle, that never comes.
class NeverReady final : public WaitInput {
 public:
  explicit NeverReady(int fd) : fd_(fd) {}
  int fd() override { return fd_; }
  bool fdTells() const override { return false; }
  bool ready() override {
    ++looks;
    return false;
  }
  int looks = 0;

 private:
  int fd_;
};

TEST(DispatchingWait, AQueueOrDescriptorThatStaysReadableForNothingDoesNotSpin) {
  struct Case {
    const char* name;
    bool queueReadable;  // readable, yet the pump finds nothing to take
    bool fdReadable;     // readable, yet the input is not there
    bool blocking;
  };
  const Case cases[] = {
      {"queue", true, false, false},
      {"descriptor", false, true, true},
  };
  constexpr uint32_t kTimeoutMs = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::thread([&c] {
      Pipe pipe;
      if (c.fdReadable) pipe.fill();
      if (c.queueReadable) {
        uint64_t one = 1;
        ASSERT_EQ(write(queueFd(), &one, sizeof one), static_cast<ssize_t>(sizeof one));
      }
      NeverReady input(pipe.fds[0]);
      std::atomic<int> stop{0};
      EXPECT_EQ(waitDispatching(input, kTimeoutMs, c.blocking, stop), WaitEnd::TimedOut);
      // Each woken step is followed by one that sleeps: about two looks per step of the
      // wait's time, where a spinning wait looks thousands of times.
      EXPECT_LE(input.looks, static_cast<int>(3 * kTimeoutMs / kWaitStepMs + 3));
    }).join();
  }
}

}  // namespace
}  // namespace zr::msg
