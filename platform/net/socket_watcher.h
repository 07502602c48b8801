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
// An owner that waits for its replies itself holds the socket while it waits: the watcher
// then stops looking for data (it still looks for a stream's close), so a reply costs no
// thread switch, and the read notice it would have given for the data comes from the
// owner's receive instead. The watcher takes the socket back once a whole kReclaimMs has
// passed without a wait of the owner, so data that comes while nobody waits is announced.
//
// Threads: rearm and noticeHandled may be called from any thread; the owner-wait bracket
// and rearm with data taken only from the thread that waits. Destroying the watcher stops
// its thread and waits for it, so no notice comes after the destructor returns.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "msg/owner_waits.h"

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

  // The owner has received from the socket (tookData: and got data): a read notice may be
  // given again.
  void rearm(bool tookData = false);
  // The owner has finished handling the last read notice.
  void noticeHandled();

  static constexpr int kReclaimMs = msg::OwnerWaits::kReclaimMs;
  // Brackets a wait of the owner for data (they may nest).
  void beginOwnerWait();
  void endOwnerWait();

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
  bool ownerHolds_ = false;  // the watcher does not look for data
  msg::OwnerWaits ownerWaits_;
  std::thread thread_;
};

}  // namespace zr::net
