#include "sim/iec_meter.h"

#include <algorithm>

#include "sim/fd_write.h"

namespace sim {
namespace {

constexpr uint8_t SOH = 0x01, STX = 0x02, ETX = 0x03, EOT = 0x04, ACK = 0x06, NAK = 0x15;

// The rate a baud-rate character stands for; 0 when it names none (mode A).
int rateOf(char z) {
  static const int rates[] = {300, 600, 1200, 2400, 4800, 9600, 19200};
  if (z >= '0' && z <= '6') return rates[z - '0'];
  if (z >= '7' && z <= '9') return 300;
  if (z >= 'A' && z <= 'F') return rates[z - 'A' + 1];
  if (z >= 'G' && z <= 'I') return 300;
  return 0;
}

char modeOf(char z) {
  if (z >= '0' && z <= '9') return 'C';
  if (z >= 'A' && z <= 'I') return 'B';
  return 'A';
}

IecBytes bytesOf(const std::string& s) { return IecBytes(s.begin(), s.end()); }

}  // namespace

IecMeter::IecMeter(std::string address, char baudChar, std::string password)
    : address_(std::move(address)), baudChar_(baudChar), password_(std::move(password)) {
  readout_ = {"0.0.0(" + address_ + ")", "1.8.0(001234.5*kWh)", "32.7.0(230.1*V)"};
}

void IecMeter::setReadout(std::vector<std::string> dataSets) {
  std::lock_guard lock(mutex_);
  readout_ = std::move(dataSets);
}

void IecMeter::setRegister(const std::string& address, const std::string& value) {
  std::lock_guard lock(mutex_);
  registers_[address] = value;
}

std::string IecMeter::registerValue(const std::string& address) const {
  std::lock_guard lock(mutex_);
  auto it = registers_.find(address);
  return it == registers_.end() ? std::string() : it->second;
}

void IecMeter::setFaults(const IecMeterFaults& f) {
  std::lock_guard lock(mutex_);
  faults_ = f;
}

IecMeterFaults IecMeter::faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

void IecMeter::setBaudChar(char z) {
  std::lock_guard lock(mutex_);
  baudChar_ = z;
}

std::vector<int> IecMeter::speeds() const {
  std::lock_guard lock(mutex_);
  return speeds_;
}

std::vector<IecBytes> IecMeter::commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

bool IecMeter::inProgrammingMode() const {
  std::lock_guard lock(mutex_);
  return state_ == State::Programming || state_ == State::ReadBlocks;
}

uint8_t IecMeter::blockCheck(const IecBytes& b) {
  uint8_t x = 0;
  for (uint8_t c : b) x ^= c;
  return x;
}

IecBytes IecMeter::readoutMessage(const std::vector<std::string>& dataSets, bool badBcc) {
  IecBytes m{STX};
  for (const std::string& d : dataSets) {
    m.insert(m.end(), d.begin(), d.end());
    m.push_back('\r');
    m.push_back('\n');
  }
  for (uint8_t c : {uint8_t('!'), uint8_t('\r'), uint8_t('\n'), ETX}) m.push_back(c);
  uint8_t check = blockCheck(IecBytes(m.begin() + 1, m.end()));
  m.push_back(static_cast<uint8_t>(check + (badBcc ? 1 : 0)));
  return m;
}

IecBytes IecMeter::block(uint8_t start, const std::string& head, const std::string& body, uint8_t end) const {
  IecBytes m{start};
  m.insert(m.end(), head.begin(), head.end());
  if (!head.empty()) m.push_back(STX);
  m.insert(m.end(), body.begin(), body.end());
  m.push_back(end);
  uint8_t check = blockCheck(IecBytes(m.begin() + 1, m.end()));
  m.push_back(static_cast<uint8_t>(check + (faults_.badBcc ? 1 : 0)));
  return m;
}

std::vector<IecBytes> IecMeter::feed(const uint8_t* bytes, size_t n) {
  std::lock_guard lock(mutex_);
  std::vector<IecBytes> out;
  if (faults_.silent) return out;
  in_.insert(in_.end(), bytes, bytes + n);
  for (;;) {
    if (in_.empty()) break;
    if (in_[0] == '/') {
      // A sign-on request starts afresh from any state.
      auto lf = std::find(in_.begin(), in_.end(), '\n');
      if (lf == in_.end()) break;
      state_ = State::Idle;
      takeSignOn(out);
      continue;
    }
    if (state_ == State::AwaitOption && in_[0] == ACK) {
      auto lf = std::find(in_.begin(), in_.end(), '\n');
      if (lf == in_.end()) break;
      takeOption(out);
      continue;
    }
    if (state_ == State::ReadBlocks && in_[0] == ACK) {
      in_.erase(in_.begin());
      nextReadBlock(out);
      continue;
    }
    if ((state_ == State::Programming || state_ == State::ReadBlocks) && in_[0] == SOH) {
      auto end = std::find_if(in_.begin() + 1, in_.end(), [](uint8_t c) { return c == ETX || c == EOT; });
      if (end == in_.end() || end + 1 == in_.end()) break;
      IecBytes msg(in_.begin(), end + 2);
      in_.erase(in_.begin(), end + 2);
      takeCommand(msg, out);
      continue;
    }
    in_.erase(in_.begin());  // wake-up NULs and whatever else is not for us
  }
  return out;
}

void IecMeter::takeSignOn(std::vector<IecBytes>& out) {
  auto lf = std::find(in_.begin(), in_.end(), '\n');
  std::string line(in_.begin(), lf + 1);
  in_.erase(in_.begin(), lf + 1);
  if (line.size() < 5 || line.compare(0, 2, "/?") != 0 || line.compare(line.size() - 3, 3, "!\r\n") != 0) return;
  const std::string address = line.substr(2, line.size() - 5);
  if (!address.empty() && address != address_) return;
  out.push_back(bytesOf(std::string("/KAV") + baudChar_ + "IECSIM\r\n"));
  switch (modeOf(baudChar_)) {
    case 'A':
      out.push_back(readoutMessage(readout_, faults_.badBcc));
      break;
    case 'B':
      speeds_.push_back(rateOf(baudChar_));
      out.push_back(readoutMessage(readout_, faults_.badBcc));
      break;
    default:
      state_ = State::AwaitOption;
  }
}

void IecMeter::takeOption(std::vector<IecBytes>& out) {
  auto lf = std::find(in_.begin(), in_.end(), '\n');
  IecBytes option(in_.begin(), lf + 1);
  in_.erase(in_.begin(), lf + 1);
  state_ = State::Idle;
  // ACK v z y CR LF: v the protocol control, z the rate, y 0 readout / 1 programming.
  if (option.size() != 6 || option[4] != '\r') return;
  const int rate = rateOf(static_cast<char>(option[2]));
  if (rate == 0) return;
  speeds_.push_back(rate);
  if (option[3] == '0') {
    out.push_back(readoutMessage(readout_, faults_.badBcc));
  } else if (option[3] == '1') {
    state_ = State::Programming;
    sessionCommands_ = 0;
    out.push_back(block(SOH, "P0", "(" + address_ + ")", ETX));
  }
}

void IecMeter::takeCommand(const IecBytes& msg, std::vector<IecBytes>& out) {
  commands_.push_back(msg);
  if (blockCheck(IecBytes(msg.begin() + 1, msg.end() - 1)) != msg.back()) {
    out.push_back({NAK});
    return;
  }
  const char letter = static_cast<char>(msg[1]);
  if (letter == 'B') {
    state_ = State::Idle;
    pendingBlock_.clear();
    return;
  }
  const bool faultsApply = ++sessionCommands_ > faults_.faultAfter;
  if (faultsApply && faults_.breakOnCommand) {
    faults_.breakOnCommand = false;
    state_ = State::Idle;
    out.push_back(block(SOH, "", "B0", ETX));
    return;
  }
  if (faultsApply && faults_.nakReplies > 0) {
    --faults_.nakReplies;
    out.push_back({NAK});
    return;
  }
  if (msg.size() < 6 || msg[3] != STX) {
    out.push_back({NAK});
    return;
  }
  const std::string data(msg.begin() + 4, msg.end() - 2);
  const uint8_t terminator = msg[msg.size() - 2];
  const IecBytes error = block(STX, "", "(ERROR)", ETX);
  switch (letter) {
    case 'P':
      out.push_back(data == "(" + password_ + ")" ? IecBytes{ACK} : IecBytes{NAK});
      return;
    case 'W': {
      if (terminator == EOT) {
        pendingBlock_ += data;
        out.push_back({ACK});
        return;
      }
      const std::string text = pendingBlock_ + data;
      pendingBlock_.clear();
      const size_t p = text.find('('), q = text.rfind(')');
      if (p == std::string::npos || p == 0 || q == std::string::npos || q < p) {
        out.push_back(error);
        return;
      }
      registers_[text.substr(0, p)] = text.substr(p + 1, q - p - 1);
      out.push_back({ACK});
      return;
    }
    case 'R': {
      const size_t p = data.find('(');
      auto it = p == std::string::npos ? registers_.end() : registers_.find(data.substr(0, p));
      if (faults_.errorOnRead || it == registers_.end()) {
        out.push_back(error);
        return;
      }
      const std::string text = it->first + "(" + it->second + ")";
      if (faults_.readBlockSize == 0 || text.size() <= faults_.readBlockSize) {
        out.push_back(block(STX, "", text, ETX));
        return;
      }
      // Blocks end after a ")" and hold at most readBlockSize bytes (or one item).
      readParts_.clear();
      std::string part;
      for (size_t at = 0; at < text.size();) {
        size_t end = text.find(')', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string item = text.substr(at, end - at);
        if (!part.empty() && part.size() + item.size() > faults_.readBlockSize) {
          readParts_.push_back(part);
          part.clear();
        }
        part += item;
        at = end;
      }
      if (!part.empty()) readParts_.push_back(part);
      state_ = State::ReadBlocks;
      nextReadBlock(out);
      return;
    }
    case 'E':
      out.push_back({ACK});
      return;
    default:
      out.push_back({NAK});
  }
}

void IecMeter::nextReadBlock(std::vector<IecBytes>& out) {
  if (readParts_.empty()) {
    state_ = State::Programming;
    return;
  }
  const std::string part = readParts_.front();
  readParts_.erase(readParts_.begin());
  if (readParts_.empty()) {
    state_ = State::Programming;
    out.push_back(block(STX, "", part, ETX));
  } else {
    out.push_back(block(STX, "", part, EOT));
  }
}

// ---- transport ------------------------------------------------------------------------

IecMeterOnFd::IecMeterOnFd(IecMeter& meter, int fd) : meter_(meter), fd_(fd) {
  thread_.start([this] { run(); });
}

IecMeterOnFd::~IecMeterOnFd() { stop(); }

void IecMeterOnFd::stop() { thread_.stop(); }

IecBytes IecMeterOnFd::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

void IecMeterOnFd::inject(const IecBytes& bytes) { writeAllToFd(fd_, bytes.data(), bytes.size()); }

void IecMeterOnFd::run() {
  uint8_t buf[4096];
  while (const size_t n = thread_.receive(fd_, buf, sizeof buf)) {
    {
      std::lock_guard lock(mutex_);
      received_.insert(received_.end(), buf, buf + n);
    }
    for (const IecBytes& reply : meter_.feed(buf, n)) {
      const IecMeterFaults f = meter_.faults();
      if (!thread_.pause(f.delayMs)) return;
      if (f.chunkSize == 0) {
        writeAllToFd(fd_, reply.data(), reply.size());
        continue;
      }
      for (size_t at = 0; at < reply.size(); at += f.chunkSize) {
        writeAllToFd(fd_, reply.data() + at, std::min(f.chunkSize, reply.size() - at));
        if (at + f.chunkSize < reply.size() && !thread_.pause(f.chunkGapMs)) return;
      }
    }
  }
}

}  // namespace sim
