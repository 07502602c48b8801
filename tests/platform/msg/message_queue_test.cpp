#include "msg/message_queue.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace zr::msg {
namespace {

using namespace std::chrono_literals;
using Reply = std::pair<LRESULT, bool>;  // result, handled

constexpr auto kDeadline = 5s;
constexpr UINT kPing = WM_USER + 1;

// Each test runs on a thread of its own, so every test starts with a fresh queue (and the
// thread's end tidies its windows).
void onFreshThread(const std::function<void()>& body) { std::thread(body).join(); }

thread_local bool t_pumping = false;

// Pumps the calling thread until done() holds; false when the deadline passes first.
bool pumpUntil(const std::function<bool()>& done) {
  for (auto end = std::chrono::steady_clock::now() + kDeadline; !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (waitFdOrQueue(-1, 0, 20) != WaitResult::Queue) continue;
    t_pumping = true;
    pumpOne();
    t_pumping = false;
  }
  return true;
}

// Waits until the calling thread's queue holds a message, without taking it.
bool waitQueued() { return waitFdOrQueue(-1, 0, 5000) == WaitResult::Queue; }

std::future<Reply> sendFromAnotherThread(HWND w, UINT msg, WPARAM wParam, int cancelFd = -1) {
  return std::async(std::launch::async, [=] {
    bool handled = true;
    LRESULT r = sendMessage(w, msg, wParam, 0, cancelFd, &handled);
    return Reply{r, handled};
  });
}

// What a procedure saw, reached through the window property "log".
struct Log {
  std::vector<std::string> entries;
  std::thread::id thread;
  bool insidePump = false;
};

LRESULT loggingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
  auto* log = static_cast<Log*>(getProp(hwnd, "log"));
  log->entries.push_back(std::to_string(msg - WM_USER) + ":" + std::to_string(wParam));
  log->thread = std::this_thread::get_id();
  log->insidePump = t_pumping;
  return static_cast<LRESULT>(wParam * 2);
}

LRESULT otherProc(HWND hwnd, UINT, WPARAM wParam, LPARAM) {
  static_cast<Log*>(getProp(hwnd, "LOG"))->entries.push_back("other:" + std::to_string(wParam));
  return 0;
}

LRESULT selfDestroyingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT r = loggingProc(hwnd, msg, wParam, lParam);
  EXPECT_TRUE(destroyWindow(hwnd));
  return r;
}

HWND makeLoggedWindow(Log& log, WindowProc proc = &loggingProc) {
  HWND w = createWindow("ZrTempWindow", proc);
  EXPECT_NE(w, nullptr);
  setProp(w, "log", &log);
  return w;
}

TEST(MessageQueue, CrossThreadSendRunsOnOwnerInsideItsPumpAndReturnsTheResult) {
  onFreshThread([] {
    Log log;
    auto reply = sendFromAnotherThread(makeLoggedWindow(log), kPing, 21);
    ASSERT_TRUE(pumpUntil([&] { return !log.entries.empty(); }));
    EXPECT_EQ(reply.get(), Reply(42, true));
    EXPECT_EQ(log.thread, std::this_thread::get_id());
    EXPECT_TRUE(log.insidePump);
  });
}

TEST(MessageQueue, TwoWindowsOnOneThreadEachReachTheirOwnProcedure) {
  onFreshThread([] {
    Log log;
    HWND a = makeLoggedWindow(log);
    HWND b = makeLoggedWindow(log, &otherProc);
    ASSERT_TRUE(postMessage(a, kPing, 1, 0));
    ASSERT_TRUE(postMessage(b, kPing, 2, 0));
    EXPECT_EQ(sendMessage(a, kPing, 3, 0), 6);  // on the owner thread: at once
    while (pumpOne()) {
    }
    EXPECT_EQ(log.entries, (std::vector<std::string>{"1:3", "1:1", "other:2"}));
    EXPECT_EQ(waitFdOrQueue(-1, 0, 0), WaitResult::Timeout);  // nothing left signalled
  });
}

TEST(MessageQueue, PumpHandlesSentMessagesBeforeOnePostedMessage) {
  onFreshThread([] {
    Log log;
    HWND w = makeLoggedWindow(log);
    auto reply = sendFromAnotherThread(w, kPing + 1, 9);
    ASSERT_TRUE(waitQueued());  // only the sent message can be there yet
    postMessage(w, kPing, 1, 0);
    postMessage(w, kPing, 2, 0);
    EXPECT_TRUE(pumpOne());
    EXPECT_EQ(log.entries, (std::vector<std::string>{"2:9", "1:1"}));
    EXPECT_TRUE(pumpOne());
    EXPECT_FALSE(pumpOne());
    EXPECT_EQ(log.entries, (std::vector<std::string>{"2:9", "1:1", "1:2"}));
    EXPECT_EQ(reply.get(), Reply(18, true));
  });
}

TEST(MessageQueue, NotificationsWaitForThePumpAndGoWithTheSentMessages) {
  onFreshThread([] {
    Log log;
    HWND w = makeLoggedWindow(log);
    postMessage(w, kPing, 1, 0);
    ASSERT_TRUE(notifyMessage(w, kPing + 2, 7, 0));  // from its own thread: not run here
    EXPECT_TRUE(log.entries.empty());
    std::thread([w] { EXPECT_TRUE(notifyMessage(w, kPing + 2, 8, 0)); }).join();  // returns at once
    EXPECT_TRUE(pumpOne());
    EXPECT_EQ(log.entries, (std::vector<std::string>{"3:7", "3:8", "1:1"}));
    EXPECT_EQ(waitFdOrQueue(-1, 0, 0), WaitResult::Timeout);

    ASSERT_TRUE(notifyMessage(w, kPing + 2, 9, 0));
    ASSERT_TRUE(destroyWindow(w));  // a notification still queued goes with its window
    EXPECT_FALSE(pumpOne());
    EXPECT_FALSE(notifyMessage(w, kPing + 2, 10, 0));
    EXPECT_EQ(log.entries.size(), 3u);
  });
}

TEST(MessageQueue, BlockedSenderIsReleasedWithoutTheProcedureRunning) {
  enum class How { DestroyWindow, CancelFd, OwnerThreadEnds };
  for (How how : {How::DestroyWindow, How::CancelFd, How::OwnerThreadEnds}) {
    SCOPED_TRACE(static_cast<int>(how));
    Log log;
    int cancel = eventfd(0, EFD_CLOEXEC);
    std::future<Reply> reply;
    onFreshThread([&] {
      HWND w = makeLoggedWindow(log);
      reply = sendFromAnotherThread(w, kPing, 5, cancel);
      ASSERT_TRUE(waitQueued());
      if (how == How::DestroyWindow) {
        EXPECT_TRUE(destroyWindow(w));
      }
      if (how == How::CancelFd) {
        uint64_t one = 1;
        ASSERT_EQ(write(cancel, &one, sizeof one), 8);
        ASSERT_EQ(reply.wait_for(kDeadline), std::future_status::ready);
        EXPECT_FALSE(pumpOne());  // the message was taken back
      }
      // OwnerThreadEnds: the thread leaves with the window alive and the message queued.
    });
    ASSERT_EQ(reply.wait_for(kDeadline), std::future_status::ready);
    EXPECT_EQ(reply.get(), Reply(0, false));
    EXPECT_TRUE(log.entries.empty());
    close(cancel);
  }
}

std::atomic<bool> g_procStarted{false};
std::atomic<bool> g_senderBack{false};
void spinUntil(const std::atomic<bool>& flag) {
  for (auto end = std::chrono::steady_clock::now() + kDeadline; !flag && std::chrono::steady_clock::now() < end;) {
    std::this_thread::yield();
  }
}
LRESULT holdingProc(HWND, UINT, WPARAM, LPARAM) {
  g_procStarted = true;
  spinUntil(g_senderBack);
  return 99;
}

TEST(MessageQueue, CancelWhileTheProcedureRunsReleasesTheSenderAtOnce) {
  onFreshThread([] {
    g_procStarted = g_senderBack = false;
    int cancel = eventfd(0, EFD_CLOEXEC);
    auto reply = sendFromAnotherThread(createWindow("ZrTempWindow", &holdingProc), kPing, 0, cancel);
    std::thread releaser([&] {
      Reply r = reply.get();
      g_senderBack = true;
      EXPECT_EQ(r, Reply(0, false));
    });
    ASSERT_TRUE(waitQueued());
    std::thread canceller([cancel] {
      spinUntil(g_procStarted);
      uint64_t one = 1;
      EXPECT_EQ(write(cancel, &one, sizeof one), 8);
    });
    pumpOne();  // returns once the sender is back
    EXPECT_TRUE(g_senderBack);
    canceller.join();
    releaser.join();
    close(cancel);
  });
}

TEST(MessageQueue, WindowDestroyedInsideItsOwnProcedure) {
  onFreshThread([] {
    Log log;
    HWND w = makeLoggedWindow(log, &selfDestroyingProc);
    postMessage(w, kPing, 1, 0);
    postMessage(w, kPing, 2, 0);
    EXPECT_TRUE(pumpOne());
    EXPECT_FALSE(isWindow(w));
    EXPECT_FALSE(postMessage(w, kPing, 3, 0));
    EXPECT_FALSE(pumpOne());  // the second message went with the window
    EXPECT_EQ(log.entries, (std::vector<std::string>{"1:1"}));

    // A sender whose message destroyed the window still gets the procedure's result.
    auto reply = sendFromAnotherThread(makeLoggedWindow(log, &selfDestroyingProc), kPing, 4);
    ASSERT_TRUE(pumpUntil([&] { return log.entries.size() == 2; }));
    EXPECT_EQ(reply.get(), Reply(8, true));
  });
}

TEST(MessageQueue, QuitRequestSurvivesPumpsUntilTheLoopSeesIt) {
  for (bool viaWindow : {false, true}) {
    SCOPED_TRACE(viaWindow ? "WM_QUIT posted to a window" : "postQuitMessage");
    onFreshThread([viaWindow] {
      Log log;
      HWND w = makeLoggedWindow(log);
      if (viaWindow) {
        postMessage(w, WM_QUIT, 7, 0);
      } else {
        postQuitMessage(7);
      }
      postMessage(w, kPing, 1, 0);
      for (int i = 0; i < 3; ++i) pumpOne();
      EXPECT_TRUE(quitRequested());
      EXPECT_EQ(quitCode(), 7);
      EXPECT_EQ(log.entries, (std::vector<std::string>{"1:1"}));  // WM_QUIT never dispatched
      EXPECT_EQ(runMessageLoop(), 7);
      EXPECT_FALSE(quitRequested());
    });
  }
}

TEST(MessageQueue, WaitReturnsForTheFdTheQueueOrTheTimeout) {
  struct Case {
    bool fdReady;
    bool messageQueued;
    WaitResult expected;
  };
  for (Case c : {Case{false, false, WaitResult::Timeout}, Case{true, false, WaitResult::Fd},
                 Case{false, true, WaitResult::Queue}, Case{true, true, WaitResult::Fd}}) {
    SCOPED_TRACE(std::to_string(c.fdReady) + std::to_string(c.messageQueued));
    onFreshThread([c] {
      int p[2];
      ASSERT_EQ(pipe(p), 0);
      if (c.fdReady) {
        EXPECT_EQ(write(p[1], "x", 1), 1);
      }
      if (c.messageQueued) postMessage(createWindow("ZrTempWindow", &otherProc), kPing, 1, 0);
      auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(waitFdOrQueue(p[0], POLLIN, 30), c.expected);
      EXPECT_EQ(std::chrono::steady_clock::now() - start >= 30ms, c.expected == WaitResult::Timeout);
      close(p[0]);
      close(p[1]);
    });
  }
}

TEST(MessageQueue, PumpRunsTheHookOnceEvenWhenTheHookPumps) {
  onFreshThread([] {
    int calls = 0;
    setPumpHook([&calls] {
      ++calls;
      pumpOne();  // a host's handler pumping from inside the hook
    });
    pumpOne();
    pumpOne();
    pumpAll();  // the host's own loop: no hook
    EXPECT_EQ(calls, 2);
    setPumpHook({});
    pumpOne();
    EXPECT_EQ(calls, 2);
  });
}

// Thread a waits for b's procedure, which sends back to a before answering.
HWND g_a = nullptr;
LRESULT aProc(HWND, UINT, WPARAM wParam, LPARAM) { return static_cast<LRESULT>(wParam * 10); }
LRESULT bProc(HWND, UINT, WPARAM wParam, LPARAM) { return sendMessage(g_a, kPing, wParam + 1, 0) + 1; }

TEST(MessageQueue, ThreadsSendingToEachOtherDoNotDeadlock) {
  onFreshThread([] {
    g_a = createWindow("ZrTempWindow", &aProc);
    std::promise<HWND> b;
    std::atomic<bool> stop{false};
    std::thread owner([&] {
      b.set_value(createWindow("ZrTempWindow", &bProc));
      while (!stop) {
        if (waitFdOrQueue(-1, 0, 20) == WaitResult::Queue) pumpOne();
      }
    });
    EXPECT_EQ(sendMessage(b.get_future().get(), kPing, 4, 0), 51);
    stop = true;
    owner.join();
  });
}

TEST(MessageQueue, PropertiesAndHandles) {
  onFreshThread([] {
    HWND w = createWindow("ZrTempWindow", &otherProc);
    int x = 0, y = 0;
    EXPECT_TRUE(setProp(w, "CZrSocket_WndProc", &x));
    EXPECT_TRUE(setProp(w, "CZRSOCKET_WNDPROC", &y));  // names ignore case
    EXPECT_EQ(removeProp(w, "czrsocket_wndproc"), &y);
    EXPECT_EQ(getProp(w, "CZrSocket_WndProc"), nullptr);
    std::thread([w] { EXPECT_FALSE(destroyWindow(w)); }).join();  // only the owner destroys
    EXPECT_TRUE(destroyWindow(w));
    EXPECT_FALSE(destroyWindow(w));
    EXPECT_FALSE(setProp(w, "a", &x));
    EXPECT_EQ(sendFromAnotherThread(w, kPing, 1).get(), Reply(0, false));
    EXPECT_EQ(createWindow("ZrTempWindow", nullptr), nullptr);
    EXPECT_NE(createWindow("ZrTempWindow", &otherProc), w);  // a stale handle never reaches a later window
  });
}

std::atomic<int> g_counted{0};
LRESULT countingProc(HWND, UINT, WPARAM wParam, LPARAM) {
  ++g_counted;
  return static_cast<LRESULT>(wParam);
}

TEST(MessageQueue, ManySendersAndPostersLoseNothing) {
  onFreshThread([] {
    constexpr int kThreads = 4, kEach = 300;
    g_counted = 0;
    HWND w = createWindow("ZrTempWindow", &countingProc);
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([w, t, &answered] {
        for (int i = 0; i < kEach; ++i) {
          postMessage(w, kPing, 0, 0);
          bool handled = false;
          if (sendMessage(w, kPing, t * kEach + i, 0, -1, &handled) == t * kEach + i && handled) ++answered;
        }
      });
    }
    EXPECT_TRUE(pumpUntil([] { return g_counted == 2 * kThreads * kEach; }));
    destroyWindow(w);  // releases any sender left waiting, should the pump have given up
    for (auto& t : threads) t.join();
    EXPECT_EQ(answered, kThreads * kEach);
  });
}

}  // namespace
}  // namespace zr::msg
