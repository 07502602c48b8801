#include "iec62056/iec_link.h"

#include <algorithm>
#include <cstdio>

#include "engines/hex_text.h"
#include "text/trim.h"

namespace kavlink::iec {
namespace {

constexpr size_t kChunkSize = 256;
constexpr uint32_t kWakeupPauseMs = 1500;
constexpr uint32_t kBreakPauseMs = 100;
constexpr int kCommandSends = 3;
constexpr int kPasswordSends = 4;

// A negative time from the settings means no pause rather than an endless one.
uint32_t nonNegative(int32_t ms) { return ms > 0 ? static_cast<uint32_t>(ms) : 0; }

bool carriesBcc(MsgKind k) {
  return k == MsgKind::Data || k == MsgKind::Command || k == MsgKind::Break || k == MsgKind::Error ||
         k == MsgKind::Partial;
}

// The kind of a whole SOH/STX message (BCC included), or None when it is not one we know.
MsgKind blockKind(std::string_view msg, int32_t formatB) {
  const char first = msg.front();
  const char terminator = msg[msg.size() - 2];
  if (first == kStx) {
    if (terminator == kEot) return MsgKind::Partial;
    std::string_view body = msg.substr(0, msg.size() - 1);
    const bool error = body.find("Err") != std::string_view::npos || body.find("ERR") != std::string_view::npos ||
                       !isDataSetText(body);
    return error ? MsgKind::Error : MsgKind::Data;
  }
  if (terminator != kEtx) return MsgKind::None;  // SOH ... EOT is nothing the meter sends
  // Judged on the message's own bytes: SOH "B" digit ETX BCC, or SOH "P" x STX ... ETX BCC.
  const std::string breakBody = "B" + std::to_string(formatB) + kEtx;
  if (msg.size() == breakBody.size() + 2 && msg.substr(1, breakBody.size()) == breakBody) return MsgKind::Break;
  if (msg.size() >= 5 && msg[1] == 'P' && msg[3] == kStx) return MsgKind::Command;
  return MsgKind::None;
}

}  // namespace

uint8_t bcc(std::string_view bytes) {
  uint8_t x = 0;
  for (char c : bytes) x = static_cast<uint8_t>(x ^ static_cast<uint8_t>(c));
  return x;
}

BaudChoice baudChoice(char z) {
  static constexpr int32_t kRates[] = {600, 1200, 2400, 4800, 9600, 19200};
  if (z >= '1' && z <= '6') return {'C', kRates[z - '1']};
  if (z == '0' || (z >= '7' && z <= '9')) return {'C', 300};
  if (z >= 'A' && z <= 'F') return {'B', kRates[z - 'A']};
  if (z >= 'G' && z <= 'I') return {'B', 300};
  return {'A', 0};
}

bool isDataSetText(std::string_view text) {
  const size_t p = text.find('(');
  const size_t q = text.find(')');
  return p != std::string_view::npos && q != std::string_view::npos && q > p;
}

bool classifyReply(std::string& buffer, int32_t formatB, Reply& reply) {
  if (buffer.empty()) return false;
  const char first = buffer.front();
  size_t length = 0;
  MsgKind kind = MsgKind::None;
  if (first == '/') {
    const size_t lf = buffer.find(kLf);
    if (lf == std::string::npos || lf == 0 || buffer[lf - 1] != kCr || buffer.size() < 8) return false;
    length = lf + 1;
    kind = MsgKind::Identification;
  } else if (first == kStx || first == kSoh) {
    size_t end = 1;
    while (end < buffer.size() && buffer[end] != kEtx && buffer[end] != kEot) ++end;
    if (end + 1 >= buffer.size()) return false;  // no terminator yet, or its BCC still missing
    length = end + 2;
    kind = blockKind(std::string_view(buffer).substr(0, length), formatB);
    if (kind == MsgKind::None) return false;
  } else if (first == kAck || first == kNak) {
    if (buffer.size() != 1) return false;
    length = 1;
    kind = first == kAck ? MsgKind::Ack : MsgKind::Nak;
  } else {
    return false;
  }
  reply.message.assign(buffer, 0, length);
  reply.kind = kind;
  buffer.erase(0, length);
  return true;
}

std::string formatCommText(std::string_view bytes, int32_t displayFormat) {
  std::string out;
  if (displayFormat == 1) return std::string(bytes);
  if (displayFormat == 3) {
    return bufToHexText(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
  }
  const bool bccLast = bytes.size() >= 3 && (bytes[bytes.size() - 2] == kEtx || bytes[bytes.size() - 2] == kEot);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (bccLast && i + 1 == bytes.size()) {
      char text[16];
      std::snprintf(text, sizeof text, "[BCC=%02X]", static_cast<unsigned>(static_cast<uint8_t>(c)));
      out += text;
      continue;
    }
    switch (c) {
      case kSoh:
        out += "[SOH]";
        break;
      case kStx:
        out += "[STX]";
        break;
      case kEtx:
        out += "[ETX]";
        break;
      case kEot:
        out += "[EOT]";
        break;
      case kAck:
        out += "[ACK]";
        break;
      case kLf:
        out += "[LF]";
        break;
      case kCr:
        out += "[CR]";
        break;
      case kNak:
        out += "[NAK]";
        break;
      default:
        out += c;
    }
  }
  return std::string(zr::text::trim(out));
}

std::string commandData(std::string_view text) {
  const size_t q = text.find(')');
  if (q == std::string_view::npos) return {};
  return std::string(zr::text::trim(text.substr(0, q + 1)));
}

std::string commandMessage(char letter, int32_t digit, std::string_view data, char terminator) {
  std::string m;
  m += kSoh;
  m += letter;
  m += std::to_string(digit);
  m += kStx;
  m += data;
  m += terminator;
  m += static_cast<char>(bcc(std::string_view(m).substr(1)));
  return m;
}

std::string breakMessage(int32_t digit) {
  std::string m;
  m += kSoh;
  m += 'B';
  m += std::to_string(digit);
  m += kEtx;
  m += static_cast<char>(bcc(std::string_view(m).substr(1)));
  return m;
}

// ---- the engine ---------------------------------------------------------------------

IecLink::IecLink(kavlink::ByteChannel& channel, const LinkSettings& settings, LinkEvents* events)
    : channel_(channel), settings_(settings), events_(events) {}

bool IecLink::fail(int32_t code) {
  lastError_ = code;
  return false;
}

bool IecLink::failCommand(int32_t code) {
  lastError_ = code;
  if (code != kErrTimeout && code != kErrMeterBreak) sendBreakCommand();
  return false;
}

void IecLink::show(std::string_view text, Show how) {
  if (!events_) return;
  if (how == Show::DataLine) {
    events_->onDataGroup(std::string(text));
  } else {
    events_->onComm(formatCommText(text, settings_.msgDisplayFormat), how == Show::Sent);
  }
}

void IecLink::sendMessage(std::string_view text) {
  if (settings_.msgNotify) show(text, Show::Sent);
  if (settings_.msgDelay > 0) channel_.sleepMs(static_cast<uint32_t>(settings_.msgDelay));
  buffer_.clear();
  channel_.write(text);
}

bool IecLink::receiveReply(Reply& reply) {
  std::string line;
  size_t scan = 0;
  while (!classifyReply(buffer_, settings_.formatB, reply)) {
    if (!busy_.raised()) return fail(kErrTimeout);
    if (channel_.waitForInput(nonNegative(settings_.msgTimeout)) < 1) return fail(kErrTimeout);
    char chunk[kChunkSize];
    const size_t got = std::min(channel_.read(chunk, sizeof chunk), sizeof chunk);
    // Every byte counts once a message has begun; NULs before it are wake-up noise.
    for (size_t i = 0; i < got; ++i) {
      if (chunk[i] == '\0' && buffer_.empty()) continue;
      buffer_ += chunk[i];
    }
    const bool notify = settings_.msgNotify != 0;
    if (notify && settings_.msgImmediate) show(std::string_view(chunk, got), Show::Received);
    if (notify && settings_.msgDisplayGroup && !buffer_.empty() && buffer_.front() == kStx) {
      // The scan may stand one past the end: the BCC after ETX/EOT is skipped when it comes.
      for (; scan < buffer_.size(); ++scan) {
        const char c = buffer_[scan];
        if (c == kStx || c == '!' || c == kCr) continue;
        if (c == kLf || c == kEtx || c == kEot) {
          if (!line.empty()) show(line, Show::DataLine);
          line.clear();
          if (c != kLf) ++scan;
          continue;
        }
        line += c;
      }
    }
    if (classifyReply(buffer_, settings_.formatB, reply)) break;
    if (static_cast<int64_t>(buffer_.size()) >= receiveLimit_) return fail(kErrTooLong);
  }
  if (settings_.msgNotify) show(reply.message, Show::Received);
  if (carriesBcc(reply.kind)) {
    std::string_view m = reply.message;
    if (bcc(m.substr(1, m.size() - 2)) != static_cast<uint8_t>(m.back())) return fail(kErrBcc);
    reply.message.pop_back();
  }
  return true;
}

bool IecLink::receiveReadout(int32_t maxLength, std::string& message) {
  Reply r;
  {
    LongReceive longer(*this, maxLength);
    if (!receiveReply(r)) return false;
  }
  if (r.kind == MsgKind::Data || r.kind == MsgKind::Error) {
    message = std::move(r.message);
    return true;
  }
  return fail(r.kind == MsgKind::Break ? kErrMeterBreak : kErrProtocol);
}

bool IecLink::signOn(bool programming) {
  if (settings_.wakeupCharCount >= 1) {
    sendMessage(std::string(static_cast<size_t>(settings_.wakeupCharCount), '\0'));
    channel_.sleepMs(kWakeupPauseMs);
  }
  sendMessage("/?" + settings_.deviceAddress + "!\r\n");
  Reply r;
  if (!receiveReply(r)) return false;
  // An identification cut short (further bytes after its LF) has no baud-rate character.
  if (r.kind != MsgKind::Identification || r.message.size() < 5) return fail(kErrProtocol);
  const char z = r.message[4];
  const BaudChoice choice = baudChoice(z);
  modeLetter_ = choice.mode;
  if (choice.mode == 'A') return true;
  if (choice.mode == 'B') {
    channel_.setRate(choice.rate);
    return true;
  }
  std::string ack(1, kAck);
  if (programming) {
    ack += std::to_string(settings_.protocolCtrl) + z + std::to_string(settings_.modeCtrl);
  } else {
    ack += std::string("0") + z + "0";
  }
  ack += "\r\n";
  sendMessage(ack);
  channel_.sleepMs(nonNegative(settings_.switchBaudDelay));
  channel_.setRate(choice.rate);
  if (!programming) return true;
  if (!receiveReply(r)) return false;
  if (r.kind != MsgKind::Command) return fail(kErrProtocol);
  if (settings_.password.empty()) return true;
  return passwordExchange();
}

bool IecLink::passwordExchange() {
  const std::string command = commandMessage('P', settings_.formatP, "(" + settings_.password + ")", kEtx);
  Reply r;
  if (!commandExchange(command, r, kPasswordSends)) return false;
  if (r.kind == MsgKind::Ack) return true;
  if (r.kind == MsgKind::Break) return fail(kErrMeterBreak);
  return fail(kErrProtocol);  // refused: four NAKs, or an answer of another kind
}

bool IecLink::commandExchange(const std::string& command, Reply& reply, int maxSends) {
  for (int sends = 0; sends < maxSends; ++sends) {
    sendMessage(command);
    if (!receiveReply(reply)) return false;
    if (reply.kind != MsgKind::Nak) return true;
  }
  return true;  // the last answer was a NAK too
}

bool IecLink::sendWriteCommand(std::string_view text, bool block) {
  // A block is part of a longer text: it goes as it is, not cut at a ")" of its own.
  const std::string data = block ? std::string(text) : commandData(text);
  Reply r;
  if (!commandExchange(commandMessage('W', settings_.formatW, data, block ? kEot : kEtx), r, kCommandSends))
    return failCommand(lastError_);
  if (r.kind == MsgKind::Ack) return true;
  if (r.kind == MsgKind::Break) return fail(kErrMeterBreak);
  return failCommand(r.kind == MsgKind::Nak ? kErrNak : kErrProtocol);
}

bool IecLink::sendExecCommand(std::string_view text) {
  Reply r;
  if (!commandExchange(commandMessage('E', settings_.formatE, commandData(text), kEtx), r, kCommandSends))
    return failCommand(lastError_);
  if (r.kind == MsgKind::Ack) return true;
  if (r.kind == MsgKind::Break) return fail(kErrMeterBreak);
  return failCommand(r.kind == MsgKind::Nak ? kErrNak : kErrProtocol);
}

bool IecLink::sendReadCommand(std::string_view text, std::string& reply) {
  reply.clear();
  Reply r;
  if (!commandExchange(commandMessage('R', settings_.formatR, commandData(text), kEtx), r, kCommandSends))
    return failCommand(lastError_);
  switch (r.kind) {
    case MsgKind::Data:
      reply = r.message;
      return true;
    case MsgKind::Break:
      return fail(kErrMeterBreak);
    case MsgKind::Nak:
      return failCommand(kErrNak);
    case MsgKind::Partial:
      break;
    default:
      return failCommand(kErrProtocol);
  }
  reply = r.message;
  while (static_cast<int64_t>(reply.size()) < receiveLimit_) {
    sendMessage(std::string(1, kAck));
    if (!receiveReply(r)) return failCommand(lastError_);
    if (r.kind == MsgKind::Partial) {
      reply += r.message;
      continue;
    }
    if (r.kind == MsgKind::Data) {
      reply += r.message;
      return true;
    }
    if (r.kind == MsgKind::Break) return fail(kErrMeterBreak);
    return failCommand(kErrProtocol);
  }
  return failCommand(kErrTooLong);
}

void IecLink::sendBreakCommand() {
  sendMessage(breakMessage(settings_.formatB));
  channel_.sleepMs(kBreakPauseMs);
}

}  // namespace kavlink::iec
