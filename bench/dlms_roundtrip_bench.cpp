// GET round trips of the DLMS control against the simulated meter, over a pseudo-terminal
// and over loopback TCP, next to the same GET made with plain POSIX calls against a meter of
// the same kind, interleaved exchange by exchange (median and p99 of each, and their
// ratios); and the engine's requests handled per second straight from memory.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dlms/hdlc.h"
#include "dlms/zr_cosem_object.h"
#include "dlms/zr_dlms.h"
#include "roundtrip_stats.h"
#include "sim/dlms_meter.h"
#include "sim/pty_pair.h"
#include "support/hdlc_frames.h"
#include "text/ansi.h"

using namespace kavlink;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes iframe(uint8_t control, const Bytes& apdu) { return dlmstest::command(control, dlmstest::withRequestLlc(apdu)); }

const Bytes kGetApdu = {0xC0, 0x01, 0xC1, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 0x02, 0x00};

const Bytes kSnrm = {0x7E, 0xA0, 0x07, 0x03, 0x21, 0x93, 0x0F, 0x01, 0x7E};
const Bytes kAarq = {0x60, 0x1D, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01, 0xBE, 0x10, 0x04,
                     0x0E, 0x01, 0x00, 0x00, 0x00, 0x06, 0x5F, 0x1F, 0x04, 0x00, 0x00, 0x7E, 0x1F, 0xFF, 0xFF};

// The simulated meter's engine behind every descriptor, all served by one thread: both
// sides of a comparison meet the same far end, on the same thread and core. Serves the
// pseudo-terminal masters it is given, and every connection to its loopback port.
class SharedMeter {
 public:
  explicit SharedMeter(std::vector<int> ptyMasters) : fds_(std::move(ptyMasters)) {
    listen_ = sim::listenOnLoopback(4, port_);
    thread_ = std::thread([this] { run(); });
  }
  ~SharedMeter() {
    uint64_t one = 1;
    (void)!::write(stop_, &one, sizeof one);
    thread_.join();
    for (int fd : accepted_) ::close(fd);
    ::close(listen_);
    ::close(stop_);
  }
  int port() const { return port_; }

 private:
  void run() {
    std::vector<std::unique_ptr<sim::DlmsEngine>> engines;
    for (size_t i = 0; i < fds_.size(); ++i) engines.push_back(std::make_unique<sim::DlmsEngine>(table_, 0));
    uint8_t buf[1024];
    for (;;) {
      std::vector<pollfd> p = {{stop_, POLLIN, 0}, {listen_, POLLIN, 0}};
      for (int fd : fds_) p.push_back({fd, POLLIN, 0});
      if (::poll(p.data(), p.size(), -1) < 0) continue;
      if (p[0].revents) return;
      if (p[1].revents) {
        int c = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0) {
          accepted_.push_back(c);
          fds_.push_back(c);
          engines.push_back(std::make_unique<sim::DlmsEngine>(table_, 0));
        }
      }
      for (size_t i = 0; i < fds_.size(); ++i) {
        if (!(p[i + 2].revents & POLLIN)) continue;
        ssize_t n = ::read(fds_[i], buf, sizeof buf);
        if (n == 0) fds_[i] = -1;  // a connection that ended is no longer looked at
        if (n <= 0) continue;
        for (const Bytes& a : engines[i]->feed(buf, static_cast<size_t>(n)))
          sim::writeAllToFd(fds_[i], a.data(), a.size());
      }
    }
  }

  sim::DlmsObjectTable table_;
  std::vector<int> fds_;
  std::vector<int> accepted_;
  int listen_ = -1;
  int port_ = 0;
  int stop_ = ::eventfd(0, EFD_CLOEXEC);
  std::thread thread_;
};

// A client of plain calls: write the frame, poll and read until the whole reply frame is in.
class PosixClient {
 public:
  // Takes the descriptor; associates with the meter behind it.
  explicit PosixClient(int fd) : fd_(fd) {
    ok_ = exchange(kSnrm) && exchange(iframe(IFrameControl(0, 0), kAarq));
    seq_ = 1;
  }
  ~PosixClient() { ::close(fd_); }
  bool associated() const { return ok_; }

  // One GET; true when an answer to it came.
  bool get() {
    const uint8_t k = seq_++ & 7;
    return exchange(iframe(IFrameControl(k, k), kGetApdu)) && have_ > kApduAt && reply_[kApduAt] == 0xC4;
  }

 private:
  static constexpr size_t kApduAt = 11;  // flag, format, two addresses, control, HCS, LLC

  bool exchange(const Bytes& request) {
    sim::writeAllToFd(fd_, request.data(), request.size());
    have_ = 0;
    size_t want = 3;
    while (have_ < want) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) return false;
      ssize_t r = ::read(fd_, reply_ + have_, sizeof reply_ - have_);
      if (r <= 0) return false;
      have_ += static_cast<size_t>(r);
      if (have_ >= 3) want = ((reply_[1] << 8 | reply_[2]) & 0x7FF) + 2u;
    }
    return reply_[0] == 0x7E && reply_[want - 1] == 0x7E;
  }

  int fd_;
  bool ok_ = false;
  unsigned seq_ = 1;
  uint8_t reply_[2048];
  size_t have_ = 0;
};

// The control's GET and the plain one, interleaved.
void measure(benchmark::State& state, CZrDLMS* client, PosixClient& posix) {
  if (!posix.associated()) {
    state.SkipWithError("plain association failed");
    return;
  }
  auto o = zr::com::ComPtr<CZrCosemObject>::attach(CZrCosemObject::create());
  o->put_ClassID(3);
  o->put_OBIS(zr::com::Bstr(u"1.0.1.8.0.255").get());
  o->put_index(2);
  bench::interleave(
      state,
      [&] {
        BOOL ok = FALSE;
        client->CosemGet(o.get(), &ok);
        return ok != FALSE;
      },
      [&] { return posix.get(); });
}

int openRawPty(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  return fd;
}

void BM_GetRoundTripPty(benchmark::State& state) {
  sim::PtyPair meterPty, plainPty;
  SharedMeter meter({meterPty.master(), plainPty.master()});
  auto client = zr::com::ComPtr<CZrDLMS>::attach(CZrDLMS::create());
  zr::com::ComPtr<IZrSerial> serial;
  client->get_Serial(serial.put());
  serial->put_Port(zr::com::Bstr(zr::text::ansiToWide(meterPty.slavePath())).get());
  BOOL ok = FALSE;
  client->CosemOpen(&ok);
  if (!ok) {
    state.SkipWithError("association failed");
    return;
  }
  PosixClient posix(openRawPty(plainPty.slavePath()));
  measure(state, client.get(), posix);
  client->CosemRelease();
}
BENCHMARK(BM_GetRoundTripPty)->Iterations(4000)->UseRealTime()->Unit(benchmark::kMicrosecond);

int tcpConnect(int port) {
  int c = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return c;
}

void BM_GetRoundTripTcp(benchmark::State& state) {
  SharedMeter meter({});
  auto client = zr::com::ComPtr<CZrDLMS>::attach(CZrDLMS::create());
  zr::com::ComPtr<IZrSocket> socket;
  client->get_socket(socket.put());
  socket->put_Host(zr::com::Bstr(u"127.0.0.1").get());
  socket->put_Port(meter.port());
  client->put_Channel(1);
  BOOL ok = FALSE;
  client->CosemOpen(&ok);
  if (!ok) {
    state.SkipWithError("association failed");
    return;
  }
  PosixClient posix(tcpConnect(meter.port()));
  measure(state, client.get(), posix);
  client->CosemRelease();
}
BENCHMARK(BM_GetRoundTripTcp)->Iterations(4000)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_EngineRequestsFromMemory(benchmark::State& state) {
  sim::DlmsObjectTable table;
  sim::DlmsEngine engine(table, 0);
  CZrDLMS* c = engine.control();
  engine.feed(kSnrm.data(), kSnrm.size());
  Bytes a = iframe(0x10, kAarq);
  engine.feed(a.data(), a.size());
  // After the AARQ both sequence numbers stand at 1; request k carries N(R) = N(S) = k.
  std::vector<Bytes> gets;
  for (uint8_t k = 0; k < 8; ++k) gets.push_back(iframe(IFrameControl(k, k), kGetApdu));
  uint8_t out[256];
  unsigned k = 1;
  for (auto _ : state) {
    const Bytes& f = gets[k++ & 7];
    LONG n = 0;
    c->DlmsCheckRequest(reinterpret_cast<PTRBUF>(f.data()), static_cast<LONG>(f.size()), &n);
    c->DlmsHandleRequest(reinterpret_cast<PTRBUF>(out), &n);
    if (n <= 0 || out[HdlcInfoOffset(2) + 3] != 0xC4) {
      state.SkipWithError("engine did not answer");
      break;
    }
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_EngineRequestsFromMemory);

}  // namespace

BENCHMARK_MAIN();
