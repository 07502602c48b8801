// What every byte channel promises the protocol controls, whichever line carries it: a
// serial port (on a pseudo-terminal), a socket (on loopback) and a host that carries the
// bytes itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "channels/host_channel.h"
#include "channels/serial/serial_channel.h"
#include "channels/serial/zr_serial.h"
#include "channels/socket/socket_channel.h"
#include "channels/socket/zr_socket.h"
#include "sim/fd_write.h"
#include "sim/loopback_listener.h"
#include "sim/pty_pair.h"
#include "support/event_sink.h"
#include "text/ansi.h"

using namespace kavlink;
using zr::com::Bstr;
using zr::com::ComPtr;

namespace {

// A channel with its far end, played by the test.
class Line {
 public:
  virtual ~Line() = default;
  virtual ByteChannel& channel() = 0;
  // Writes the request; the far end answers it.
  virtual void exchange(const std::string& request, const std::string& answer) = 0;
};

class FdLine : public Line {
 public:
  void exchange(const std::string& request, const std::string& answer) override {
    channel().write(request);
    sim::writeAllToFd(far_, reinterpret_cast<const uint8_t*>(answer.data()), answer.size());
  }

 protected:
  int far_ = -1;
};

class SerialLine final : public FdLine {
 public:
  SerialLine() {
    far_ = pty_.master();
    port_->put_Port(Bstr(zr::text::ansiToWide(pty_.slavePath())).get());
    EXPECT_EQ(port_->Open(), S_OK);
  }
  ~SerialLine() override { port_->Close(); }
  ByteChannel& channel() override { return channel_; }

 private:
  sim::PtyPair pty_;
  ComPtr<CZrSerial> port_ = ComPtr<CZrSerial>::attach(CZrSerial::create());
  SerialChannel channel_{*port_};
};

class SocketLine final : public FdLine {
 public:
  SocketLine() {
    int port = 0;
    listener_ = sim::listenOnLoopback(1, port);
    socket_->put_Host(Bstr(u"127.0.0.1").get());
    socket_->put_Port(port);
    VARIANT_BOOL connected = 0;
    socket_->Connect(&connected);
    EXPECT_TRUE(connected);
    far_ = ::accept(listener_, nullptr, nullptr);
  }
  ~SocketLine() override {
    socket_->Close();
    ::close(far_);
    ::close(listener_);
  }
  ByteChannel& channel() override { return channel_; }

 private:
  int listener_ = -1;
  ComPtr<CZrSocket> socket_ = ComPtr<CZrSocket>::attach(CZrSocket::create());
  SocketChannel channel_{*socket_};
};

class HostLine final : public Line {
 public:
  void exchange(const std::string& request, const std::string& answer) override {
    answer_ = answer;
    channel_.write(request);
  }
  ByteChannel& channel() override { return channel_; }

 private:
  std::string answer_;
  uint8_t buffer_[64] = {};
  HostChannel channel_{buffer_, sizeof buffer_, [this](uint8_t* b, int64_t) {
                         std::memcpy(b, answer_.data(), answer_.size());
                         return static_cast<int64_t>(answer_.size());
                       }};
};

std::string readExactly(ByteChannel& c, size_t n) {
  std::string got;
  testhost::waitUntil([&] {
    char buf[64];
    if (c.waitForInput(20) > 0) got.append(buf, c.read(buf, std::min(sizeof buf, n - got.size())));
    return got.size() >= n;
  });
  return got;
}

struct Kind {
  const char* name;
  std::function<std::unique_ptr<Line>()> make;
  bool hasRate;
  friend void PrintTo(const Kind& k, std::ostream* os) { *os << k.name; }
};

class ByteChannelContract : public ::testing::TestWithParam<Kind> {
 protected:
  std::unique_ptr<Line> line = GetParam().make();
  ByteChannel& channel = line->channel();
};

}  // namespace

TEST_P(ByteChannelContract, WhatAnEarlierExchangeLeftIsGoneAfterAPurge) {
  line->exchange("1?", "first answer");
  EXPECT_EQ(readExactly(channel, 5), "first");
  // The rest waits: in the line, in what the channel read ahead, or in the host's answer.
  ASSERT_TRUE(testhost::waitUntil([&] { return channel.available() == 7; }));
  channel.purge();
  EXPECT_EQ(channel.available(), 0u);
  line->exchange("2?", "second");
  EXPECT_EQ(readExactly(channel, 6), "second");
}

TEST_P(ByteChannelContract, ARateTheLineCannotTakeIsRefused) {
  EXPECT_NO_THROW(channel.setRate(9600));
  // Zero would hang a serial line up; a line without a rate ignores it.
  if (GetParam().hasRate) {
    EXPECT_THROW(channel.setRate(0), zr::com::ComError);
  } else {
    EXPECT_NO_THROW(channel.setRate(0));
  }
}

INSTANTIATE_TEST_SUITE_P(Lines, ByteChannelContract,
                         ::testing::Values(Kind{"Serial", [] { return std::unique_ptr<Line>(new SerialLine); }, true},
                                           Kind{"Socket", [] { return std::unique_ptr<Line>(new SocketLine); }, false},
                                           Kind{"Host", [] { return std::unique_ptr<Line>(new HostLine); }, false}),
                         [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });
