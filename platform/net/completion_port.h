// A completion port on epoll: operations are posted on sockets, a pool of worker threads
// performs them when the socket is ready, and each finished operation is handed to one
// completion function on the worker that finished it.
//
// Every worker has an epoll set of its own and each socket belongs to one worker, so one
// socket's completions come one after the other, in the order its operations were posted
// (reads in their queue, sends in theirs), and no other worker is woken for it. Sockets
// are dealt to the workers in turn, also the connections a worker accepts: the worker
// that wakes to a burst of connections accepts all of them, and had they stayed with it,
// it would serve the whole burst while the others sleep (what a connection will ask of
// its worker is not known when it is accepted, and nothing moves it later). Sockets are
// level-triggered: a worker does a bounded amount of work on one socket per wake-up and
// comes back to it after the others that are ready, so a socket that always has more data
// cannot keep its worker from the rest. A socket with nothing
// posted is not in the set at all. A shared (listening) socket is in every set,
// edge-triggered and exclusive, and is accepted from until it would block.
//
// A receive posted without a buffer is given the worker's own for its completion: memory
// for received data is taken while data is there, not for every idle socket. One read per
// turn takes readsPerTurn receives' worth, 64 KB at least (small receives would else leave
// most of what a peer sent at once for later rounds), and hands it in order to as many
// receives as it fills.
//
// A listening socket whose accept finds no descriptor (or no memory) for the connection is
// not watched for a short while, or until another socket of the port is closed; the accept
// stays queued and the connection waits in the backlog meanwhile.
//
// Errors are Winsock codes (net/wsa_error.h). An operation on a socket that is closed
// completes with WSA_OPERATION_ABORTED.
//
// Ownership: attach gives the caller a shared reference; the port keeps its own (and the
// key) until the socket is closed and its last completion has been delivered (the retired
// function then runs once for it). An operation stays owned by its poster and must live until its
// completion has been delivered.
//
// Threads: post, trySend, close may be called from any thread, also from inside the
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
#include <unordered_map>
#include <vector>

#include "net/address.h"

namespace zr::net {

class CompletionPort {
 public:
  // One posted operation. Accept gives the new connection's descriptor (non-blocking and
  // close-on-exec, owned by the receiver of the completion) and its peer; Receive fills up
  // to size bytes of buffer (the worker's own when buffer is none: valid only during the
  // completion, which finds it in buffer); ReceiveFrom also the sender in peer; Send
  // writes every one of size bytes (the completion comes when the kernel has taken them
  // all); SendTo one datagram to peer.
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
  using SocketPtr = std::shared_ptr<Socket>;
  // (key given to attach, the operation, byte count, error 0 or a Winsock code)
  using Completion = std::function<void(void* key, Operation* op, size_t bytes, int error)>;
  // (key given to attach): the socket is closed and nothing more comes for it.
  using Retired = std::function<void(void* key)>;

  CompletionPort();
  ~CompletionPort();
  CompletionPort(const CompletionPort&) = delete;
  CompletionPort& operator=(const CompletionPort&) = delete;

  // Makes the port. readsPerTurn bounds the reads (or accepts) one socket is given each
  // time it is found ready. 0 or a Winsock code.
  int open(int readsPerTurn = 1);
  // Starts `threads` workers that deliver completions to `completion` and closes to
  // `retired` (when given). Each worker holds a copy of keepAlive until its last completion
  // has returned. Returns the number started (fewer than asked when a thread cannot be
  // made); only those are given sockets.
  int startWorkers(int threads, Completion completion, std::shared_ptr<void> keepAlive, Retired retired = {});

  // Adds fd (which must be non-blocking; owned by the port from now on) with the key its
  // completions carry; the port holds the key until the socket is retired, so that what
  // the key is outlives every completion that names it. None with error set when it
  // cannot be added (fd is then closed).
  // Sockets go to the workers in turn. One attached from a completion is not watched, nor
  // closed, until that completion has returned: what it does with the socket (a server's
  // OnAccept, then its receives) comes first, whichever worker the socket went to. shared
  // (a listening socket): watched by every worker, and the kernel wakes one that waits for
  // each new connection, so the busy ones are left alone.
  SocketPtr attach(int fd, std::shared_ptr<void> key, int& error, bool shared = false);
  // Queues an operation. 0, or WSAENOTSOCK when the socket is closed.
  int post(Socket* s, Operation* op);
  // Writes what the kernel takes of data at once, when no send is queued before it:
  // `sent` tells how much (the rest is the caller's to post). 0 or a Winsock code. From a
  // completion of the socket's own turn while that turn has more received data to hand
  // out, the kernel keeps it back until the turn's last send or the end of the turn.
  int trySend(Socket* s, const char* data, size_t size, size_t& sent);
  // The same for one datagram: sent is size, or 0 when there is no room now.
  int trySendTo(Socket* s, const char* data, size_t size, const Endpoint& to, size_t& sent);
  // Closes the socket: its queued operations complete with WSA_OPERATION_ABORTED on its
  // worker, then the descriptor is closed. Nothing is performed on it after this returns;
  // with afterSends, nothing but the sends already queued, which go out first (a peer
  // that has only shut down its sending side still reads).
  void close(Socket* s, bool afterSends = false);
  static int fd(const Socket* s);

  // Asks every worker to end and shuts every socket down (its peer sees the end at once);
  // returns without waiting. Later completions are not delivered.
  void stop();
  // Waits at most timeoutMs for every worker but the calling one to end. True when they
  // have.
  bool waitStopped(int timeoutMs);
  bool stopping() const { return stopping_.load(std::memory_order_acquire); }
  // Readable once the last worker has ended (after open; -1 before), so that a thread can
  // wait for that among other things.
  int endedFd() const { return ended_fd_; }
  // True on a worker thread of this port.
  bool onWorker();
  // Waits for the threads of the workers but the calling one to be gone (after
  // waitStopped), so that what they held is let go of.
  void joinWorkers();

 private:
  struct Worker;

  void run(Worker* w, std::shared_ptr<void> keepAlive);
  void turn(Worker& w, Socket* s, uint32_t events);
  void takeCloses(Worker& w);
  void queueClose(SocketPtr s);
  void handOver(Worker& w);
  void watch(Socket* s);
  void retire(Socket* s, std::unique_lock<std::mutex>& lock);
  void unwatch(Socket* s);
  bool rest(Worker& w, Socket* s);
  void wakeRested(Worker& w);
  static int waitTimeout(const Worker& w);

  int readsPerTurn_ = 1;
  int stop_ = -1;      // never drained: wakes every worker once stopping
  int ended_fd_ = -1;  // never drained: every worker has ended
  Completion completion_;
  Retired retired_;
  std::atomic<bool> stopping_{false};
  std::vector<std::unique_ptr<Worker>> workers_;
  std::atomic<uint32_t> nextWorker_{0};

  std::mutex threadsMutex_;
  std::vector<std::thread> threads_;
  std::vector<SocketPtr> sharedRetired_;
  int running_ = 0;
  std::condition_variable ended_;
};

}  // namespace zr::net
