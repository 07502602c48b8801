#include "sim/dlt645_meter.h"

#include <algorithm>

namespace sim {
namespace {

std::array<uint8_t, 6> addressBytes(const std::string& a12) {
  std::array<uint8_t, 6> out{};
  for (int k = 0; k < 6; ++k) {
    int hi = a12[10 - 2 * k] - '0';
    int lo = a12[11 - 2 * k] - '0';
    out[k] = static_cast<uint8_t>(hi * 16 + lo);
  }
  return out;
}

}  // namespace

Dlt645Meter::Dlt645Meter(std::string address, std::string password)
    : address_(std::move(address)), password_(std::move(password)) {
  // A few items a real meter answers: total active energy, meter number, date.
  values_[0x9010] = {0x56, 0x34, 0x12, 0x00};
  auto own = addressBytes(address_);
  values_[0xC032] = Bytes(own.begin(), own.end());
}

Bytes Dlt645Meter::frame(const std::string& address, uint8_t control, const Bytes& data, int preamble) {
  Bytes out(static_cast<size_t>(preamble), 0xFE);
  size_t start = out.size();
  out.push_back(0x68);
  for (uint8_t b : addressBytes(address)) out.push_back(b);
  out.push_back(0x68);
  out.push_back(control);
  out.push_back(static_cast<uint8_t>(data.size()));
  for (uint8_t b : data) out.push_back(static_cast<uint8_t>(b + 0x33));
  uint8_t cs = 0;
  for (size_t i = start; i < out.size(); ++i) cs = static_cast<uint8_t>(cs + out[i]);
  out.push_back(cs);
  out.push_back(0x16);
  return out;
}

std::vector<Bytes> Dlt645Meter::feed(const uint8_t* bytes, size_t n) {
  std::lock_guard lock(mutex_);
  pending_.insert(pending_.end(), bytes, bytes + n);
  std::vector<Bytes> replies;
  for (;;) {
    size_t i = 0;
    bool found = false;
    for (; i < pending_.size(); ++i) {
      if (pending_[i] != 0x68) continue;
      if (i + 9 >= pending_.size()) break;  // wait for more
      if (pending_[i + 7] != 0x68) continue;
      size_t len = pending_[i + 9];
      if (i + len + 11 >= pending_.size()) break;
      if (pending_[i + len + 11] != 0x16) continue;
      uint8_t cs = 0;
      for (size_t k = i; k < i + len + 10; ++k) cs = static_cast<uint8_t>(cs + pending_[k]);
      if (cs != pending_[i + len + 10]) continue;
      Request r;
      std::copy_n(pending_.begin() + static_cast<long>(i) + 1, 6, r.address.begin());
      r.control = pending_[i + 8];
      for (size_t k = 0; k < len; ++k) r.data.push_back(static_cast<uint8_t>(pending_[i + 10 + k] - 0x33));
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(i + len + 12));
      requests_.push_back(r);
      if (auto reply = answer(r)) replies.push_back(std::move(*reply));
      found = true;
      break;
    }
    if (!found) {
      if (i >= pending_.size() && pending_.size() > 4096) pending_.clear();
      break;
    }
  }
  return replies;
}

bool Dlt645Meter::passwordOk(const Bytes& p) const {
  if (p.size() < 3 || password_.size() != 6) return false;
  auto pair = [&](int at) { return static_cast<uint8_t>((password_[at] - '0') * 16 + (password_[at + 1] - '0')); };
  return p[0] == pair(4) && p[1] == pair(2) && p[2] == pair(0);
}

std::optional<Bytes> Dlt645Meter::answer(const Request& r) {
  const auto own = addressBytes(address_);
  const bool broadcast = std::all_of(r.address.begin(), r.address.end(), [](uint8_t b) { return b == 0x99; });
  if (r.address != own && !broadcast) return std::nullopt;
  if (faults_.silent) return std::nullopt;

  uint8_t control = 0;
  Bytes data;
  if (auto h = handlers_.find(r.control); h != handlers_.end()) {
    auto custom = h->second(r);
    if (!custom) return std::nullopt;
    control = custom->first;
    data = custom->second;
  } else {
    switch (r.control) {
      case 0x01: {
        uint16_t di = r.data.size() >= 2 ? static_cast<uint16_t>(r.data[0] | (r.data[1] << 8)) : 0;
        auto v = values_.find(di);
        if (faults_.errorReplies > 0 || v == values_.end()) {
          if (faults_.errorReplies > 0) --faults_.errorReplies;
          control = 0xC1;
          data = {0x02};
        } else {
          control = 0x81;
          data = {r.data[0], r.data[1]};
          data.insert(data.end(), v->second.begin(), v->second.end());
        }
        break;
      }
      case 0x04: {
        if (r.data.size() < 6 || !passwordOk(Bytes(r.data.begin() + 3, r.data.begin() + 6))) {
          control = 0xC4;
          data = {0x04};
          break;
        }
        uint16_t di = static_cast<uint16_t>(r.data[0] | (r.data[1] << 8));
        values_[di] = Bytes(r.data.begin() + 6, r.data.end());
        control = 0x84;
        break;
      }
      case 0x0A: {
        if (!broadcast || r.data.size() != 6) return std::nullopt;
        std::string a(12, '0');
        for (int k = 0; k < 6; ++k) {
          a[10 - 2 * k] = static_cast<char>('0' + (r.data[k] >> 4));
          a[11 - 2 * k] = static_cast<char>('0' + (r.data[k] & 0x0F));
        }
        address_ = a;
        control = 0x8A;
        break;
      }
      case 0x12: {
        if (r.data.size() < 4 || !passwordOk(Bytes(r.data.begin() + 1, r.data.begin() + 4))) return std::nullopt;
        control = 0x92;
        break;
      }
      default:
        return std::nullopt;
    }
  }

  Bytes out(static_cast<size_t>(faults_.preamble), 0xFE);
  out.insert(out.end(), faults_.noise.begin(), faults_.noise.end());
  std::string from = faults_.replyAddress.value_or(address_);
  if (broadcast && broadcastReplyAddress_) from = *broadcastReplyAddress_;
  Bytes f = frame(from, control, data);
  if (faults_.badChecksum) f[f.size() - 2] = static_cast<uint8_t>(f[f.size() - 2] + 1);
  out.insert(out.end(), f.begin(), f.end());
  if (faults_.twice) out.insert(out.end(), f.begin(), f.end());
  return out;
}

void Dlt645Meter::setValue(uint16_t di, Bytes value) {
  std::lock_guard lock(mutex_);
  values_[di] = std::move(value);
}

std::optional<Bytes> Dlt645Meter::value(uint16_t di) const {
  std::lock_guard lock(mutex_);
  auto v = values_.find(di);
  if (v == values_.end()) return std::nullopt;
  return v->second;
}

void Dlt645Meter::setFaults(const MeterFaults& f) {
  std::lock_guard lock(mutex_);
  faults_ = f;
}

MeterFaults Dlt645Meter::faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void Dlt645Meter::setBroadcastReplyAddress(std::optional<std::string> address) {
  std::lock_guard lock(mutex_);
  broadcastReplyAddress_ = std::move(address);
}

std::string Dlt645Meter::address() const {
  std::lock_guard lock(mutex_);
  return address_;
}

void Dlt645Meter::setHandler(uint8_t control, Handler h) {
  std::lock_guard lock(mutex_);
  handlers_[control] = std::move(h);
}

std::vector<Request> Dlt645Meter::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t Dlt645Meter::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

}  // namespace sim
