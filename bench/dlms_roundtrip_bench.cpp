// GET round trips of the DLMS control against the meter-side engine, over a
// pseudo-terminal and over loopback TCP (median and p99 per round trip), next to the
// same frames exchanged with plain POSIX calls against a far end that answers with the
// engine's reply at once; and the engine's requests handled per second straight from
// memory.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "dlms/hdlc.h"
#include "dlms/zr_cosem_object.h"
#include "dlms/zr_dlms.h"
#include "sim/dlms_meter.h"
#include "sim/pty_pair.h"
#include "text/ansi.h"

using namespace kavlink;
using Clock = std::chrono::steady_clock;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes iframe(uint8_t control, const Bytes& apdu, bool toServer) {
  const uint8_t toServerAddr[] = {0x03, 0x21};
  const uint8_t toClientAddr[] = {0x21, 0x03};
  uint8_t out[512] = {};
  const uint8_t llc[] = {0xE6, toServer ? uint8_t{0xE6} : uint8_t{0xE7}, 0x00};
  std::memcpy(out + HdlcInfoOffset(2), llc, 3);
  std::memcpy(out + HdlcInfoOffset(2) + 3, apdu.data(), apdu.size());
  int n =
      BuildHdlcFrame(out, toServer ? toServerAddr : toClientAddr, 2, control, static_cast<int>(apdu.size()) + 3, false);
  return Bytes(out, out + n);
}

const Bytes kGetApdu = {0xC0, 0x01, 0xC1, 0x00, 0x03, 1, 0, 1, 8, 0, 255, 0x02, 0x00};
const Bytes kAnswerApdu = {0xC4, 0x01, 0xC1, 0x00, 0x06, 0x00, 0x01, 0xE2, 0x40};

// Answers every whole frame it reads with one fixed reply frame.
class CannedPeer {
 public:
  CannedPeer(int fd, Bytes reply) : fd_(fd), reply_(std::move(reply)), thread_([this] { run(); }) {}
  ~CannedPeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void run() {
    Bytes got;
    uint8_t buf[512];
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      ssize_t r = ::read(fd_, buf, sizeof buf);
      if (r <= 0) continue;
      got.insert(got.end(), buf, buf + r);
      while (got.size() >= 3) {
        size_t len = ((got[1] << 8 | got[2]) & 0x7FF) + 2u;
        if (got.size() < len) break;
        got.erase(got.begin(), got.begin() + static_cast<long>(len));
        sim::writeAllToFd(fd_, reply_.data(), reply_.size());
      }
    }
  }
  int fd_;
  Bytes reply_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Writes the request and reads until the whole reply frame is in.
void posixExchange(int fd, const Bytes& request, size_t replyLength) {
  sim::writeAllToFd(fd, request.data(), request.size());
  uint8_t buf[512];
  size_t have = 0;
  while (have < replyLength) {
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 1000);
    ssize_t r = ::read(fd, buf + have, sizeof buf - have);
    if (r > 0) have += static_cast<size_t>(r);
  }
}

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

// Times the control's GET and the plain exchange alternately, so both see the same load.
template <class PosixSide>
void measure(benchmark::State& state, CZrDLMS* client, PosixSide&& posix) {
  auto o = zr::com::ComPtr<CZrCosemObject>::attach(CZrCosemObject::create());
  o->put_ClassID(3);
  o->put_OBIS(zr::com::Bstr(u"1.0.1.8.0.255").get());
  o->put_index(2);
  std::vector<double> control, plain;
  for (auto _ : state) {
    BOOL ok = FALSE;
    auto t0 = Clock::now();
    client->CosemGet(o.get(), &ok);
    auto t1 = Clock::now();
    posix();
    auto t2 = Clock::now();
    if (!ok) {
      state.SkipWithError("GET failed");
      break;
    }
    control.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    plain.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
  }
  const double med = percentile(control, 0.5), pmed = percentile(plain, 0.5);
  state.counters["median_us"] = med;
  state.counters["p99_us"] = percentile(control, 0.99);
  state.counters["posix_median_us"] = pmed;
  state.counters["posix_p99_us"] = percentile(plain, 0.99);
  state.counters["ratio"] = pmed > 0 ? med / pmed : 0;
}

void BM_GetRoundTripPty(benchmark::State& state) {
  sim::PtyPair meterPty;
  sim::DlmsObjectTable table;
  sim::DlmsMeterPeer meter(table, 0, meterPty.master());
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
  sim::PtyPair plainPty;
  CannedPeer far(plainPty.master(), iframe(0x52, kAnswerApdu, false));
  int fd = ::open(plainPty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  const Bytes request = iframe(0x32, kGetApdu, true);
  const size_t replyLength = iframe(0x52, kAnswerApdu, false).size();
  measure(state, client.get(), [&] { posixExchange(fd, request, replyLength); });
  client->CosemRelease();
  ::close(fd);
}
BENCHMARK(BM_GetRoundTripPty)->Iterations(2000)->Unit(benchmark::kMicrosecond);

int loopbackPair(int& serverSide) {
  int l = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(l, 1);
  socklen_t n = sizeof a;
  ::getsockname(l, reinterpret_cast<sockaddr*>(&a), &n);
  int c = ::socket(AF_INET, SOCK_STREAM, 0);
  ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
  serverSide = ::accept(l, nullptr, nullptr);
  ::close(l);
  int one = 1;
  ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ::setsockopt(serverSide, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return c;
}

void BM_GetRoundTripTcp(benchmark::State& state) {
  sim::DlmsObjectTable table;
  sim::DlmsMeterPeer meter(table, 0);
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
  int serverSide = -1;
  int fd = loopbackPair(serverSide);
  CannedPeer far(serverSide, iframe(0x52, kAnswerApdu, false));
  const Bytes request = iframe(0x32, kGetApdu, true);
  const size_t replyLength = iframe(0x52, kAnswerApdu, false).size();
  measure(state, client.get(), [&] { posixExchange(fd, request, replyLength); });
  client->CosemRelease();
  ::close(fd);
  ::close(serverSide);
}
BENCHMARK(BM_GetRoundTripTcp)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_EngineRequestsFromMemory(benchmark::State& state) {
  sim::DlmsObjectTable table;
  sim::DlmsEngine engine(table, 0);
  CZrDLMS* c = engine.control();
  const Bytes aarq = {0x60, 0x1D, 0xA1, 0x09, 0x06, 0x07, 0x60, 0x85, 0x74, 0x05, 0x08, 0x01, 0x01, 0xBE, 0x10, 0x04,
                      0x0E, 0x01, 0x00, 0x00, 0x00, 0x06, 0x5F, 0x1F, 0x04, 0x00, 0x00, 0x7E, 0x1F, 0xFF, 0xFF};
  const Bytes snrm = {0x7E, 0xA0, 0x07, 0x03, 0x21, 0x93, 0x0F, 0x01, 0x7E};
  engine.feed(snrm.data(), snrm.size());
  Bytes a = iframe(0x10, aarq, true);
  engine.feed(a.data(), a.size());
  // After the AARQ both sequence numbers stand at 1; request k carries N(R) = N(S) = k.
  std::vector<Bytes> gets;
  for (uint8_t k = 0; k < 8; ++k) gets.push_back(iframe(IFrameControl(k, k), kGetApdu, true));
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
