// Makes the broadcast set-up of sockets fail, to see what the socket object does then.
//
// This test program defines setsockopt itself: the call reaches the system's unless a
// FailBroadcast is alive, which makes SO_BROADCAST fail with its errno.
#pragma once

namespace broadcastfault {

class FailBroadcast {
 public:
  explicit FailBroadcast(int err);
  ~FailBroadcast();
  FailBroadcast(const FailBroadcast&) = delete;
  FailBroadcast& operator=(const FailBroadcast&) = delete;
};

}  // namespace broadcastfault
