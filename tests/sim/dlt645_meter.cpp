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

// n as 2 * bytes BCD digits, lowest byte first.
Bytes bcd(long n, int bytes) {
  Bytes out;
  for (int k = 0; k < bytes; ++k) {
    out.push_back(static_cast<uint8_t>((n % 10) | ((n / 10 % 10) << 4)));
    n /= 100;
  }
  return out;
}

void append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

constexpr uint16_t kRelayOn = 0xC03D;
constexpr uint16_t kRelayOff = 0xC03C;
constexpr uint16_t kRelayStatus = 0xC026;
constexpr uint16_t kAlarmStatus = 0xC021;
constexpr uint16_t kProfile = 0xD110;

}  // namespace

Bytes Dlt645Meter::profileRecord(int n, bool threePhase) {
  // One record every 15 minutes from 1 December 00:00.
  const int minutes = (n - 1) * 15;
  const int day = 1 + minutes / (24 * 60), hour = minutes / 60 % 24, minute = minutes % 60;
  Bytes r;
  append(r, {bcd(minute, 1)[0], bcd(hour, 1)[0], bcd(day % 100, 1)[0], 0x12});  // mm hh DD MM
  append(r, bcd(100000L + 25L * n, 4));                                         // energy, 0.01 kWh
  if (!threePhase) {
    append(r, bcd(20000L + 5L * n, 4));  // reactive energy
    append(r, bcd(2200 + n % 13, 2));    // voltage, 0.1 V
    append(r, bcd(50 + n % 30, 2));      // current, 0.1 A
    append(r, Bytes(4, 0x00));           // not shown
    return r;
  }
  for (int phase = 0; phase < 3; ++phase) append(r, bcd(2200 + (n + 3 * phase) % 13, 2));  // voltages
  for (int phase = 0; phase < 3; ++phase) append(r, bcd(50 + (n + phase) % 30, 2));        // currents
  for (int phase = 0; phase < 3; ++phase) append(r, bcd(110 + (n + phase) % 40, 2));       // kW, 0.01
  for (int phase = 0; phase < 3; ++phase) append(r, bcd(20 + (n + phase) % 10, 2));        // kvar, 0.01
  for (int phase = 0; phase < 3; ++phase) append(r, bcd(980 + (n + phase) % 15, 2));       // power factor
  append(r, bcd(5000, 2));                                                                 // 50.00 Hz
  return r;
}

void Dlt645Meter::setThreePhaseProfile(bool threePhase) {
  std::lock_guard lock(mutex_);
  threePhase_ = threePhase;
}

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
      r.wire.assign(pending_.begin() + static_cast<long>(i), pending_.begin() + static_cast<long>(i + len + 12));
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
        if (faults_.silentDi == di) return std::nullopt;
        if (di == kProfile && r.data.size() >= 4 && faults_.errorReplies == 0 && faults_.refuseDi != di) {
          const int n = r.data[2] | (r.data[3] << 8);
          if (faults_.silentRecord == n) return std::nullopt;
          if (n >= 1 && n <= kProfileRecords) {
            control = 0x81;
            data = {r.data[0], r.data[1]};
            append(data, profileRecord(n, threePhase_));
            break;
          }
        }
        auto v = values_.find(di);
        if (faults_.errorReplies > 0 || v == values_.end() || faults_.refuseDi == di) {
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
        const uint16_t di = r.data.size() >= 2 ? static_cast<uint16_t>(r.data[0] | (r.data[1] << 8)) : 0;
        if (faults_.silentDi == di) return std::nullopt;
        if (r.data.size() < 6 || r.data[2] != 0x00 || !passwordOk(Bytes(r.data.begin() + 3, r.data.begin() + 6)) ||
            faults_.refuseDi == di) {
          control = 0xC4;
          data = {0x04};
          break;
        }
        control = 0x84;
        // Bit 0: the last operation was "on"; bit 3: the load has power.
        if (di == kRelayOn) {
          values_[kRelayStatus] = {0x09};
        } else if (di == kRelayOff) {
          values_[kRelayStatus] = {0x00};
        } else {
          values_[di] = Bytes(r.data.begin() + 6, r.data.end());
        }
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
        values_[0xC032] = r.data;  // the meter number follows the address
        control = 0x8A;
        break;
      }
      case 0x12: {
        if (r.data.size() < 4 || !passwordOk(Bytes(r.data.begin() + 1, r.data.begin() + 4))) return std::nullopt;
        if (auto alarm = values_.find(kAlarmStatus); alarm != values_.end() && !alarm->second.empty())
          alarm->second[0] &= 0xFE;  // the open-box state is cleared
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

void loadDemoValues(Dlt645Meter& meter) {
  meter.setBroadcastReplyAddress("999999999999");
  // Energies and instantaneous values of the sample item tree (BCD, lowest byte first).
  // The four tariffs add up to the total.
  meter.setValue(0x9010, {0x45, 0x23, 0x01, 0x00});  // 000123.45 kWh
  meter.setValue(0x9011, {0x10, 0x45, 0x00, 0x00});
  meter.setValue(0x9012, {0x35, 0x38, 0x00, 0x00});
  meter.setValue(0x9013, {0x60, 0x25, 0x00, 0x00});
  meter.setValue(0x9014, {0x40, 0x14, 0x00, 0x00});
  meter.setValue(0x9020, {0x00, 0x00, 0x00, 0x00});
  meter.setValue(0x9110, {0x12, 0x03, 0x00, 0x00});
  meter.setValue(0x9410, {0x20, 0x98, 0x00, 0x00});  // last month 000098.20 kWh
  // Maximum demand 03.2560 kW, on 12.03 at 19:45.
  meter.setValue(0xA010, {0x60, 0x25, 0x03});
  meter.setValue(0xB010, {0x45, 0x19, 0x03, 0x12});
  meter.setValue(0xB611, {0x20, 0x02});  // 220 V
  meter.setValue(0xB612, {0x21, 0x02});
  meter.setValue(0xB613, {0x19, 0x02});
  meter.setValue(0xB621, {0x50, 0x12});        // 12.50 A
  meter.setValue(0xB630, {0x88, 0x70, 0x02});  // 02.7088 kW: 220 V, 12.50 A, 0.985
  meter.setValue(0xB650, {0x85, 0x09});        // power factor 0.985
  // Last programmed on 11.20 at 09:15, three times in all.
  meter.setValue(0xB210, {0x15, 0x09, 0x20, 0x11});
  meter.setValue(0xB212, {0x03, 0x00});
  // Clock and display.
  meter.setValue(0xC010, {0x02, 0x08, 0x12, 0x26});  // Tuesday 2026-12-08
  meter.setValue(0xC011, {0x00, 0x30, 0x10});        // 10:30:00
  meter.setValue(0xC113, {0x05});                    // scroll every 5 s
  meter.setValue(0xC112, {0x15});                    // sliding time 15 min
  meter.setValue(0xC117, {0x00, 0x01});              // read on day 01 at 00 h
  // Limits and constants.
  meter.setValue(0xC11C, {0x00, 0x64, 0x02});  // 0264.00 V
  meter.setValue(0xC11B, {0x00, 0x76, 0x01});  // 0176.00 V
  meter.setValue(0xB634, {0x60, 0x00});        // 00.60 kW / 0060 A
  meter.setValue(0xC030, {0x00, 0x32, 0x00});  // 003200 imp/kWh
  meter.setValue(0xC031, {0x00, 0x32, 0x00});
  meter.setValue(0xD211, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00});
  // Tariff periods: 00:00 tariff 4, 08:00 tariff 2, 11:00 tariff 1, 17:00 tariff 2,
  // 22:00 tariff 3; the rest repeat the last.
  const Bytes periods[] = {
      {0x04, 0x00, 0x00}, {0x02, 0x00, 0x08}, {0x01, 0x00, 0x11}, {0x02, 0x00, 0x17}, {0x03, 0x00, 0x22}};
  for (int k = 1; k <= 10; ++k) meter.setValue(static_cast<uint16_t>(0xC330 + k), periods[k <= 5 ? k - 1 : 4]);
  // Status words: forward power, a low battery; relay on with power.
  meter.setValue(0xC020, {0x04});
  meter.setValue(0xC021, {0x04});  // active power forward, no alarm
  meter.setValue(0xC026, {0x09});
  // Prepayment registers.
  meter.setValue(0x9F1F, {0x50, 0x25, 0x01, 0x00});  // 000125.50 bought
  meter.setValue(0x9F20, {0x50, 0x00});              // 0050 trusted
  meter.setValue(0x9F22, {0x10, 0x00});              // 0010 alarm
  meter.setValue(0x9F23, {0x30, 0x87, 0x00, 0x00});  // 000087.30 remaining
  meter.setValue(0x9F21, {0x01});                    // meter type 01
}

}  // namespace sim
