// The IEC 62056-21 direct local exchange: sign-on in modes A, B and C, messages with their
// block check character, receiving and classifying the meter's messages, the command
// messages of programming mode, and the last error code.
//
// The engine works over the byte channel, so it can run against a serial port or a
// scripted peer alike. Failures of the exchange are a false result with lastError set;
// what the channel throws (a port failure) passes through unchanged.
//
// Threads: everything runs on the caller's thread; events fire synchronously from inside
// the running operation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engines/busy_flag.h"
#include "engines/byte_channel.h"

namespace kavlink::iec {

inline constexpr char kSoh = 0x01, kStx = 0x02, kEtx = 0x03, kEot = 0x04, kAck = 0x06, kLf = 0x0A, kCr = 0x0D,
                      kNak = 0x15;

enum class MsgKind : int32_t {
  None = 0,
  Identification = 1,  // "/" ... CR LF
  Data = 2,            // STX ... ETX BCC
  Ack = 3,
  Nak = 4,
  Command = 5,  // SOH "P" x STX ... ETX BCC: the meter asks for the password
  Break = 6,    // SOH "B" digit ETX BCC
  Error = 7,    // a data message that carries "Err"/"ERR" or no data set
  Partial = 8,  // STX ... EOT BCC
};

enum LastError : int32_t {
  kErrNone = 0,
  kErrTimeout = 1,
  kErrProtocol = 2,
  kErrTooLong = 3,
  kErrMeterBreak = 4,
  kErrBcc = 5,
  kErrNak = 6,
};

struct Reply {
  std::string message;
  MsgKind kind = MsgKind::None;
};

// The settings the engine reads at the moment it needs them.
struct LinkSettings {
  std::string deviceAddress;
  std::string password;
  int32_t wakeupCharCount = 0;
  int32_t msgTimeout = 2000;
  int32_t msgMaxLen = 65536;
  int32_t msgDelay = 0;
  int32_t msgNotify = 1;
  int32_t msgDisplayGroup = 1;
  int32_t msgDisplayFormat = 2;
  int32_t startBaudrate = 300;
  int32_t msgImmediate = 0;
  int32_t switchBaudDelay = 210;
  int32_t formatP = 1;
  int32_t formatW = 2;
  int32_t formatR = 2;
  int32_t formatE = 2;
  int32_t formatB = 0;
  int32_t protocolCtrl = 0;
  int32_t modeCtrl = 1;
};

class LinkEvents {
 public:
  virtual ~LinkEvents() = default;
  virtual void onComm(const std::string& text, bool sent) = 0;
  virtual void onDataGroup(const std::string& line) = 0;
};

// ---- plain functions ----------------------------------------------------------------

uint8_t bcc(std::string_view bytes);

// The mode and rate an identification's baud-rate character selects: 'A', 'B' or 'C';
// rate 0 for mode A (the rate stays).
struct BaudChoice {
  char mode;
  int32_t rate;
};
BaudChoice baudChoice(char z);

// True when the text holds a "(" and its first ")" comes after it.
bool isDataSetText(std::string_view text);

// When the buffer starts with a whole message, moves it into reply (with its BCC) and
// returns true; otherwise leaves the buffer as it is.
bool classifyReply(std::string& buffer, int32_t formatB, Reply& reply);

// The text OnComm shows for the bytes, in the given display format.
std::string formatCommText(std::string_view bytes, int32_t displayFormat);

// The data part of a command: cut after the first ")" (empty without one), trimmed.
std::string commandData(std::string_view text);

// A command message SOH letter digit STX data terminator BCC.
std::string commandMessage(char letter, int32_t digit, std::string_view data, char terminator);
// The break message SOH "B" digit ETX BCC.
std::string breakMessage(int32_t digit);

// ---- the engine ---------------------------------------------------------------------

class IecLink {
 public:
  // The settings and events are the owner's and outlive the engine; events may be null.
  IecLink(kavlink::ByteChannel& channel, const LinkSettings& settings, LinkEvents* events);

  static constexpr int32_t kDefaultReceiveLimit = 256;

  bool signOn(bool programming);
  void sendMessage(std::string_view text);
  bool receiveReply(Reply& reply);
  // The data message of a readout, less its BCC, received with the receive limit raised
  // to maxLength; only a data or error message counts.
  bool receiveReadout(int32_t maxLength, std::string& message);

  // The commands of programming mode. A failure other than no answer (1) or the meter's
  // break (4) has sent the break command.
  bool sendWriteCommand(std::string_view text, bool block);
  bool sendReadCommand(std::string_view text, std::string& reply);
  bool sendExecCommand(std::string_view text);
  void sendBreakCommand();

  // The receive limit raised for one step (a readout, a read answered in blocks); the
  // default comes back however the step ends, a port failure included.
  class LongReceive {
   public:
    LongReceive(IecLink& link, int32_t maxLength) : link_(link) { link_.receiveLimit_ = maxLength; }
    ~LongReceive() { link_.receiveLimit_ = kDefaultReceiveLimit; }
    LongReceive(const LongReceive&) = delete;
    LongReceive& operator=(const LongReceive&) = delete;

   private:
    IecLink& link_;
  };

  int32_t lastError() const { return lastError_; }
  int32_t modeLetter() const { return modeLetter_; }
  // Receiving goes on only while an operation of the control runs.
  BusyFlag& busyFlag() { return busy_; }
  bool busy() const { return busy_.raised(); }
  void setBusy(bool b) { busy_.set(b); }
  int32_t receiveLimit() const { return receiveLimit_; }
  void setReceiveLimit(int32_t n) { receiveLimit_ = n; }
  const std::string& receiveBuffer() const { return buffer_; }

 private:
  // How a text reaches the host: OnComm as sent or received, or OnDataGroup as one line.
  enum class Show { Received, Sent, DataLine };
  void show(std::string_view text, Show how);
  // Sends the command and takes the answer; NAK repeats it up to maxSends sends in all.
  bool commandExchange(const std::string& command, Reply& reply, int maxSends);
  bool fail(int32_t code);
  // Fails with code, sending the break command unless the meter is silent or broke off.
  bool failCommand(int32_t code);
  bool passwordExchange();

  kavlink::ByteChannel& channel_;
  const LinkSettings& settings_;
  LinkEvents* events_;
  std::string buffer_;
  BusyFlag busy_;
  int32_t modeLetter_ = 0;
  int32_t lastError_ = kErrNone;
  int32_t receiveLimit_ = kDefaultReceiveLimit;
};

}  // namespace kavlink::iec
