// A completion port on epoll: operations are posted on sockets, a pool of worker threads
// performs them when the socket is ready, and each finished operation is handed to one
// completion function on the worker that finished it.
//
// Sockets are edge-triggered in one epoll set. A socket is worked on by one worker at a
// time, so the completions of one socket come one after the other and in the order its
// operations were posted (reads in their queue, sends in theirs); different sockets are
// worked on in parallel. An operation stays owned by its poster and must live until its
// completion has been delivered.
//
// Errors are Winsock codes (net/wsa_error.h). An operation on a socket that is closed
// completes with WSA_OPERATION_ABORTED.
//
// Threads: post, close and release may be called from any thread, also from inside the
// completion function. stop and waitStopped from any thread; a worker that stops the port
// ends when its completion function returns (it is never waited for by itself).
#pragma once

#include <sys/epoll.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "net/address.h"

namespace zr::net {

class CompletionPort {
 public:
  // One posted operation. Accept gives the new connection's descriptor (owned by the
  // receiver of the completion) and its peer; Receive fills up to size bytes of buffer;
  // ReceiveFrom also the sender in peer; Send writes every one of size bytes (the
  // completion comes when the kernel has taken them all); SendTo one datagram to peer.
  struct Operation {
    enum class Kind : uint8_t { Accept, Receive, ReceiveFrom, Send, SendTo };
    Kind kind = Kind::Receive;
    char* buffer = nullptr;
    size_t size = 0;
    int accepted = -1;
    Endpoint peer;
    // The port's own.
    size_t done = 0;
    Operation* next = nullptr;
  };

  class Socket;
  // (key given to attach, the operation, byte count, error 0 or a Winsock code)
  using Completion = std::function<void(void* key, Operation* op, size_t bytes, int error)>;

  CompletionPort() = default;
  ~CompletionPort();
  CompletionPort(const CompletionPort&) = delete;
  CompletionPort& operator=(const CompletionPort&) = delete;

  // Makes the epoll set. 0 or a Winsock code.
  int open();
  // Starts `threads` workers that deliver completions to `completion`. Each worker holds a
  // copy of keepAlive until its last completion has returned. Returns the number started
  // (fewer than asked when a thread cannot be made).
  int startWorkers(int threads, Completion completion, std::shared_ptr<void> keepAlive);

  // Adds fd (non-blocking from now on, owned by the port) with the key its completions
  // carry. With claimed set, nothing is performed on it until resume: the caller may then
  // post its first operations and finish its own work before any completion comes.
  Socket* attach(int fd, void* key, bool claimed, int& error);
  void resume(Socket* s);
  // Queues an operation. 0, or WSAENOTSOCK when the socket is closed.
  int post(Socket* s, Operation* op);
  // Closes the socket: its queued operations complete with WSA_OPERATION_ABORTED, then
  // the descriptor is closed. Nothing is delivered for it after that.
  void close(Socket* s);
  // Closes the socket and gives up the caller's use of it. Only when no operation of the
  // socket is outstanding.
  void release(Socket* s);
  static int fd(const Socket* s);

  // Asks every worker to end; returns at once. Later completions are not delivered.
  void stop();
  // Waits at most timeoutMs for every worker but the calling one to end. True when they
  // have.
  bool waitStopped(int timeoutMs);
  bool stopping() const { return stopping_.load(std::memory_order_acquire); }
  // True on a worker thread of this port.
  bool onWorker();
  // Waits for the threads of the workers but the calling one to be gone (after
  // waitStopped), so that what they held is let go of.
  void joinWorkers();

 private:
  void run(std::shared_ptr<void> keepAlive);
  void work(Socket* s, uint32_t events);
  Socket* acquire(uint64_t token);
  void unref(Socket* s);
  void kick(Socket* s);
  void takeKicks();
  void retire(Socket* s);
  void joinOthers();

  int epoll_ = -1;
  int wake_ = -1;  // kicked sockets are waiting
  int stop_ = -1;  // never drained: wakes every worker once stopping
  Completion completion_;
  std::atomic<bool> stopping_{false};

  std::mutex tableMutex_;
  std::vector<Socket*> table_;
  std::vector<uint32_t> freeSlots_;
  uint32_t generation_ = 0;

  std::mutex kickMutex_;
  std::vector<Socket*> kicked_;

  std::mutex threadsMutex_;
  std::vector<std::thread> threads_;
  std::vector<std::thread::id> ids_;
  int running_ = 0;
  std::condition_variable ended_;
};

}  // namespace zr::net
