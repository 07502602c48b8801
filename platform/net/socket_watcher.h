// Read and close notices for a connected socket, in the manner of Windows' asynchronous
// socket selection, for owners that hand them on as window messages.
//
// A watcher thread looks at the socket and calls the notify function (on that thread):
//   Notice::Read   data is waiting (on a datagram socket also a pending error). After a
//                  read notice no other one comes until the owner has both received from
//                  the socket (rearm) and finished handling the notice (noticeHandled);
//                  then, if data is still waiting, the next read notice follows.
//   Notice::Close  a stream's peer has closed or reset the connection. It is given once,
//                  and only when no read notice is outstanding and no data that came
//                  before the close is waiting unannounced: data that arrives together with
//                  the close is always announced first, so an owner that receives in its
//                  read handler never loses it to the close.
// A datagram socket gets read notices only.
//
// Threads: rearm and noticeHandled may be called from any thread. Destroying the watcher
// stops its thread and waits for it, so no notice comes after the destructor returns.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zr::net {

class SocketWatcher {
 public:
  enum class Notice { Read, Close };
  using Notify = std::function<void(Notice)>;

  // Starts watching fd (which must outlive the watcher). Returns 0 or a Winsock code.
  static int start(int fd, bool stream, Notify notify, std::unique_ptr<SocketWatcher>& out);
  ~SocketWatcher();
  SocketWatcher(const SocketWatcher&) = delete;
  SocketWatcher& operator=(const SocketWatcher&) = delete;

  // The owner has received from the socket: a read notice may be given again.
  void rearm();
  // The owner has finished handling the last read notice.
  void noticeHandled();

 private:
  SocketWatcher(int fd, bool stream, Notify notify, int wakeFd);
  void run();
  void wake();

  const int fd_;
  const bool stream_;
  const Notify notify_;
  const int wakeFd_;
  std::mutex mutex_;
  bool armed_ = true;
  bool readPending_ = false;
  bool closeGiven_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace zr::net
