// Per-thread message queues and hidden message windows.
//
// Every thread gets a queue on first use. A window is a handle bound to the queue of the
// thread that created it and to the procedure its maker gave; messages for it are handled
// only on that thread, when the thread pumps (its own loop, or the waits of the
// component). This is how worker threads hand events to the thread that owns an object.
//
// Ordering: a pump handles every pending sent message first, then at most one posted one.
// Threads: postMessage and sendMessage may be called from any thread; createWindow,
// destroyWindow and the pump functions act on the calling thread's queue.
#pragma once

#include <cstdint>
#include <functional>

namespace zr::msg {

struct Window;
using HWND = Window*;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WindowProc = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

// A hidden window of the given class name on the calling thread, delivering to proc.
// Returns nullptr when it cannot be made.
HWND createWindow(const char* className, WindowProc proc);

// Destroys a window of the calling thread. Messages still queued for it are dropped and a
// thread blocked in sendMessage to it is released with result 0. Returns false for a
// handle that is not a live window.
bool destroyWindow(HWND hwnd);
bool isWindow(HWND hwnd);

// Named pointer properties of a window (as the window system's window properties).
bool setProp(HWND hwnd, const char* name, void* value);
void* getProp(HWND hwnd, const char* name);
void* removeProp(HWND hwnd, const char* name);

// Queues a message for the window's thread; false when the window is gone.
bool postMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Calls the window's procedure on its own thread and returns its result. On the owner
// thread the procedure is called at once. From another thread this blocks until the
// owner handles the message, the window is destroyed, or cancelFd (when >= 0) becomes
// readable; the last two return 0 and set *handled (when given) to false. *handled is
// true only when the procedure ran and its result is returned.
// While blocked, the calling thread handles messages sent to its own windows, so two
// threads sending to each other do not deadlock.
// A sender released by cancelFd while the owner is already running the procedure returns
// at once and the result is discarded: what lParam points to must not live on the
// sender's stack when a cancelFd is given.
LRESULT sendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int cancelFd = -1, bool* handled = nullptr);

// Queues a message for the window's procedure and returns at once: the window's thread
// handles it among the sent messages of its next pump, even when that is the calling
// thread itself (an object's own events then run where its other events run, never
// inside the call that found them). False when the window is gone.
bool notifyMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Asks the calling thread's loop to end. A pump inside a wait never consumes it:
// the request stays until runMessageLoop (or the host's loop) sees quitRequested().
// A WM_QUIT posted to a window becomes the same request when a pump reaches it.
void postQuitMessage(int exitCode);
bool quitRequested();
int quitCode();

// Handles pending sent messages, then at most one posted message of the calling thread.
// Runs the pump hook first (when installed). Returns true when a message was taken off
// the queue (a message whose window has gone is dropped, and counts).
bool pumpOne();

// Handles everything pending (sent and posted) on the calling thread when called; what
// the procedures post meanwhile waits for the next call. Does not run the pump hook.
// For hosts that watch queueFd() in their own event loop.
void pumpAll();

// Runs a plain message loop on the calling thread until postQuitMessage; returns the code.
int runMessageLoop();

// A file descriptor of the calling thread's queue that is readable while messages are
// pending (sent or posted). Owned by the queue: never close it.
int queueFd();

enum class WaitResult { Fd, Queue, Timeout };

// Waits until fd (when >= 0) is readable (poll events), the calling thread's queue has a
// message, or timeoutMs passes. A negative timeout waits without end.
WaitResult waitFdOrQueue(int fd, short events, int timeoutMs);

// A process-wide hook the pump calls each time, so that a host with its own event loop
// (the Qt program) runs its own events inside the component's waits. Empty to remove.
// It runs on whichever thread pumps, so a hook for one thread's loop checks the thread.
// While the hook runs on a thread, pumps nested inside it on that thread skip it.
void setPumpHook(std::function<void()> hook);

}  // namespace zr::msg
