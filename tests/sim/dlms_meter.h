// A simulated DLMS meter for tests, benchmarks and the demo: a ZrDLMS control in engine
// mode whose host answers OnCosemServer from a small object table (clock, energy
// registers, a long profile-like value that needs several frames), behind a file
// descriptor (a pseudo-terminal's master side) or a loopback TCP listener. Header only:
// it needs the component's objects, which the simulated peers library does not link; its
// users link libcrypto (the simulated peers library brings it).
#pragma once

#include <openssl/evp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "com/com_ptr.h"
#include "dlms/zr_dlms.h"
#include "sim/fd_write.h"
#include "sim/loopback_listener.h"
#include "sim/peer_thread.h"
#include "support/sink_base.h"

namespace sim {

using DlmsBytes = std::vector<uint8_t>;

// The answer to a high level challenge, as open DLMS stacks compute it for mechanism 2 by
// default, so a standard client can associate: the challenge, zero-padded to whole 16-byte
// blocks, encrypted block by block with AES-128 under the secret zero-padded (or cut) to 16
// bytes. Both sides use it: the meter's host and the client's (the control leaves the
// computation to its host). Empty when the cipher cannot be set up.
inline DlmsBytes dlmsHlsAnswer(const std::string& secret, const uint8_t* challenge, size_t n) {
  uint8_t key[16] = {};
  std::memcpy(key, secret.data(), std::min(secret.size(), sizeof key));
  DlmsBytes plain(challenge, challenge + n);
  plain.resize((n + 15) / 16 * 16, 0);
  DlmsBytes out(plain.size());
  std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  int len = 0;
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key, nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data(), &len, plain.data(), static_cast<int>(plain.size())) != 1 ||
      static_cast<size_t>(len) != out.size())
    return {};
  return out;
}

struct DlmsKey {
  uint16_t classId;
  std::array<uint8_t, 6> obis;
  uint8_t id;
  bool operator<(const DlmsKey& o) const { return std::tie(classId, obis, id) < std::tie(o.classId, o.obis, o.id); }
};

// The meter's objects and the host logic that answers the engine's items.
class DlmsObjectTable {
 public:
  DlmsObjectTable() {
    // Clock: date-time as an octet-string of 12 bytes (2026-12-09, Wednesday, 10:30:00).
    setAttribute(8, {0, 0, 1, 0, 0, 255}, 2,
                 {0x09, 0x0C, 0x07, 0xEA, 0x0C, 0x09, 0x03, 0x0A, 0x1E, 0x00, 0x00, 0x80, 0x00, 0x00});
    // Active energy import: 123456 Wh, scaler 0 / unit Wh.
    setAttribute(3, {1, 0, 1, 8, 0, 255}, 2, {0x06, 0x00, 0x01, 0xE2, 0x40});
    setAttribute(3, {1, 0, 1, 8, 0, 255}, 3, {0x02, 0x02, 0x0F, 0x00, 0x16, 0x1E});
    setAttribute(3, {1, 0, 2, 8, 0, 255}, 2, {0x06, 0x00, 0x00, 0x30, 0x39});
    // A load profile's buffer: 40 entries of (double-long-unsigned, long-unsigned).
    DlmsBytes profile = {0x01, 40};
    for (uint8_t k = 0; k < 40; ++k) {
      const DlmsBytes entry = {0x02, 0x02, 0x06, 0x00, 0x00, k, static_cast<uint8_t>(k * 3), 0x12, 0x00, k};
      profile.insert(profile.end(), entry.begin(), entry.end());
    }
    setAttribute(7, {1, 0, 99, 1, 0, 255}, 2, profile);
    // The relay: method 1 disconnects (no return data), method 2 reconnects and
    // reports the output state.
    setMethod(70, {0, 0, 96, 3, 10, 255}, 1, {});
    setMethod(70, {0, 0, 96, 3, 10, 255}, 2, {0x03, 0x01});
  }

  void setAttribute(uint16_t cls, std::array<uint8_t, 6> obis, uint8_t attr, DlmsBytes value) {
    std::lock_guard<std::mutex> lock(mutex_);
    attributes_[{cls, obis, attr}] = std::move(value);
  }
  void setMethod(uint16_t cls, std::array<uint8_t, 6> obis, uint8_t method, DlmsBytes answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    methods_[{cls, obis, method}] = std::move(answer);
  }
  DlmsBytes attribute(uint16_t cls, std::array<uint8_t, 6> obis, uint8_t attr) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = attributes_.find({cls, obis, attr});
    return it == attributes_.end() ? DlmsBytes{} : it->second;
  }
  int actionsRun() const { return actionsRun_.load(); }

  std::string password = "12345678";    // low level
  std::string hlsSecret = "HLSsecret";  // high level, shared with the client's host
  DlmsBytes serverChallenge = {0x53, 0x74, 0x6F, 0x43, 0x2D, 0x31, 0x32, 0x33,
                               0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x41, 0x42};

  // One item: the object in, whether it is accepted out; answer data go into the object.
  bool answer(kavlink::IZrCosemObject* o) {
    BYTE service = 0, id = 0;
    USHORT cls = 0;
    LONG len = 0;
    PTRBUF ptr = 0;
    o->get_AccessType(&service);
    o->get_ClassID(&cls);
    o->get_index(&id);
    o->get_DataLen(&len);
    o->GetDataPointer(&ptr);
    uint8_t* data = reinterpret_cast<uint8_t*>(ptr);
    const DlmsKey key{cls, obisOf(o), id};
    auto give = [&](const DlmsBytes& b) {
      if (!b.empty()) std::memcpy(data, b.data(), b.size());
      o->put_DataLen(static_cast<LONG>(b.size()));
    };
    std::lock_guard<std::mutex> lock(mutex_);
    switch (service) {
      case 0xC0: {
        auto it = attributes_.find(key);
        if (it == attributes_.end()) return false;
        give(it->second);
        return true;
      }
      case 0xC1: {
        auto it = attributes_.find(key);
        if (it == attributes_.end() || id == 3) return false;
        it->second.assign(data, data + len);
        return true;
      }
      case 0xC3: {
        auto it = methods_.find(key);
        if (it == methods_.end()) return false;
        ++actionsRun_;
        give(it->second);
        return true;
      }
      case 0xF1:
        return std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(len)) == password;
      case 0xF2:
        clientChallenge_.assign(data, data + len);
        give(serverChallenge);
        return true;
      case 0xF3: {
        // data: 09 n f(server challenge); the answer: 09 n f(client challenge).
        const DlmsBytes expected = dlmsHlsAnswer(hlsSecret, serverChallenge.data(), serverChallenge.size());
        if (expected.empty() || len < 2 || data[0] != 0x09 || DlmsBytes(data + 2, data + len) != expected) return false;
        const DlmsBytes f = dlmsHlsAnswer(hlsSecret, clientChallenge_.data(), clientChallenge_.size());
        DlmsBytes reply = {0x09, static_cast<uint8_t>(f.size())};
        reply.insert(reply.end(), f.begin(), f.end());
        give(reply);
        return true;
      }
      default:
        return false;
    }
  }

 private:
  static std::array<uint8_t, 6> obisOf(kavlink::IZrCosemObject* o) {
    zr::com::Bstr text;
    o->get_OBIS(text.put());
    std::array<uint8_t, 6> b{};
    unsigned v[6] = {};
    std::string s(text.view().begin(), text.view().end());
    std::sscanf(s.c_str(), "%u.%u.%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    for (int i = 0; i < 6; ++i) b[i] = static_cast<uint8_t>(v[i]);
    return b;
  }

  mutable std::mutex mutex_;
  std::map<DlmsKey, DlmsBytes> attributes_;
  std::map<DlmsKey, DlmsBytes> methods_;
  DlmsBytes clientChallenge_;
  std::atomic<int> actionsRun_{0};
};

// The host's sink on the engine control: OnCosemServer answered from the table.
class DlmsServerSink final : public testhost::SinkFor<kavlink::_IZrDLMSEvents> {
 public:
  explicit DlmsServerSink(DlmsObjectTable& table) : table_(table) {}
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* p, VARIANT*, EXCEPINFO*, UINT*) override {
    if (id != kavlink::_IZrDLMSEvents::kOnCosemServer || p->cArgs != 2) return S_OK;
    auto cosem = zr::com::ComPtr<IDispatch>(p->rgvarg[1].pdispVal).as<kavlink::IZrCosemObject>();
    if (cosem && !table_.answer(cosem.get())) *p->rgvarg[0].plVal = FALSE;
    return S_OK;
  }

 private:
  DlmsObjectTable& table_;
};

// The engine control with its host, ready to be fed bytes.
class DlmsEngine {
 public:
  DlmsEngine(DlmsObjectTable& table, LONG authentication, USHORT physical = 1, USHORT logical = 0) : sink_(table) {
    control_ = zr::com::ComPtr<kavlink::CZrDLMS>::attach(kavlink::CZrDLMS::create());
    auto cpc = zr::com::ComPtr<IUnknown>(control_->controllingUnknown()).as<IConnectionPointContainer>();
    cpc->FindConnectionPoint(kavlink::_IZrDLMSEvents::iid, point_.put());
    point_->Advise(&sink_, &cookie_);
    control_->put_Authentioation(authentication);
    control_->put_PhysicalAddr(physical);
    control_->put_LogicalAddr(logical);
    control_->DlmsInitServer();
  }
  ~DlmsEngine() {
    if (point_) point_->Unadvise(cookie_);
  }
  DlmsEngine(const DlmsEngine&) = delete;
  DlmsEngine& operator=(const DlmsEngine&) = delete;

  // Feeds one byte at a time, so frames that arrive glued together are taken apart;
  // returns every answer frame.
  std::vector<DlmsBytes> feed(const uint8_t* p, size_t n) {
    std::vector<DlmsBytes> answers;
    for (size_t i = 0; i < n; ++i) {
      LONG complete = 0;
      control_->DlmsCheckRequest(reinterpret_cast<PTRBUF>(p + i), 1, &complete);
      if (complete <= 0) continue;
      uint8_t out[256];
      LONG len = 0;
      control_->DlmsHandleRequest(reinterpret_cast<PTRBUF>(out), &len);
      if (len > 0) answers.emplace_back(out, out + len);
    }
    return answers;
  }
  kavlink::CZrDLMS* control() { return control_.get(); }

 private:
  DlmsServerSink sink_;
  zr::com::ComPtr<kavlink::CZrDLMS> control_;
  zr::com::ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

// A DLMS meter on a descriptor (a pseudo-terminal's master side) or on a loopback TCP
// listener (one connection at a time), served by its own thread with its own engine.
class DlmsMeterPeer {
 public:
  // Serves the descriptor fd.
  DlmsMeterPeer(DlmsObjectTable& table, LONG authentication, int fd) : table_(table), auth_(authentication), fd_(fd) {
    thread_.start([this] { serveFd(fd_); });
  }
  // Listens on 127.0.0.1 (port 0: an ephemeral one).
  DlmsMeterPeer(DlmsObjectTable& table, LONG authentication) : table_(table), auth_(authentication) {
    listenFd_ = listenOnLoopback(4, port_);
    thread_.start([this] { acceptLoop(); });
  }
  ~DlmsMeterPeer() {
    stop();
    if (listenFd_ >= 0) ::close(listenFd_);
  }
  DlmsMeterPeer(const DlmsMeterPeer&) = delete;
  DlmsMeterPeer& operator=(const DlmsMeterPeer&) = delete;

  void stop() { thread_.stop(); }
  int port() const { return port_; }
  // Answer frames are written in pieces of this many bytes (0: whole).
  std::atomic<size_t> chunkSize{0};
  std::atomic<int> framesAnswered{0};

 private:
  void acceptLoop() {
    while (thread_.waitReadable(listenFd_)) {
      int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      serveFd(c);
      ::close(c);
    }
  }

  // Serves one descriptor until it closes or the peer is stopped.
  void serveFd(int fd) {
    DlmsEngine engine(table_, auth_);
    uint8_t buf[1024];
    while (const size_t n = thread_.receive(fd, buf, sizeof buf)) {
      for (const DlmsBytes& a : engine.feed(buf, n)) {
        const size_t step = chunkSize.load() ? chunkSize.load() : a.size();
        for (size_t at = 0; at < a.size(); at += step) writeAllToFd(fd, a.data() + at, std::min(step, a.size() - at));
        ++framesAnswered;
        if (thread_.stopped()) return;
      }
    }
  }

  DlmsObjectTable& table_;
  LONG auth_;
  int fd_ = -1;
  int listenFd_ = -1;
  int port_ = 0;
  PeerThread thread_;
};

}  // namespace sim
