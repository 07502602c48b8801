// A simulated IEC 62056-21 meter: takes the bytes a reading device sends, answers with the
// bytes a meter would. It knows the sign-on for its address (and for an empty address),
// identification with its baud-rate character, the option select of mode C with its speed
// change, a readout of data sets, and programming mode: password (P1), writes (W1/W2, also
// partial blocks) kept and readable by reads (R1/R2), execute (E2) and break (B0).
//
// Its codec is its own, written from the protocol: tests compare with bytes written out by
// hand, never with the component's engine. Faults change what it answers; timing faults
// (late, in pieces) are applied by the transport that runs it (IecMeterOnFd).
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sim/peer_thread.h"

namespace sim {

using IecBytes = std::vector<uint8_t>;

// The reaction time of the demo meter. Common clients rest 250 ms after the option select,
// then reopen their port at the new rate, dropping whatever came before: a readout sent
// sooner is lost to them. A meter waits 200 to 1500 ms; this one waits well clear of 250.
inline constexpr int kDemoIecReactionTimeMs = 350;

struct IecMeterFaults {
  bool silent = false;          // answers nothing at all
  bool badBcc = false;          // every block check character off by one
  int nakReplies = 0;           // the next n commands (P, W, R, E) get a NAK
  bool breakOnCommand = false;  // the next command gets the meter's break message
  int faultAfter = 0;           // the two above spare the first n commands of a session
  bool errorOnRead = false;     // reads get an error message
  size_t readBlockSize = 0;     // read answers in partial blocks of this many data bytes
  int delayMs = 0;              // answer this late: also a real meter's reaction time
  size_t chunkSize = 0;         // answer in pieces of this many bytes (0: at once)
  int chunkGapMs = 0;           // pause between pieces
};

class IecMeter {
 public:
  // baudChar: the fifth byte of the identification ('0'-'6' mode C, 'A'-'I' mode B,
  // anything else mode A).
  explicit IecMeter(std::string address = "12345678", char baudChar = '5', std::string password = "00000000");

  // The data sets of the readout, each as "address(value*unit)".
  void setReadout(std::vector<std::string> dataSets);
  void setRegister(const std::string& address, const std::string& value);
  std::string registerValue(const std::string& address) const;
  void setFaults(const IecMeterFaults& f);
  IecMeterFaults faults() const;
  void setBaudChar(char z);

  // Feeds received bytes; returns the messages to send in answer, in order.
  std::vector<IecBytes> feed(const uint8_t* bytes, size_t n);

  // Every rate the meter switched its line to, in order (a pseudo-terminal has no rate).
  std::vector<int> speeds() const;
  // Every command message received in programming mode, as on the wire.
  std::vector<IecBytes> commands() const;
  bool inProgrammingMode() const;

  // Wire forms, for tests that write the expected bytes out.
  static uint8_t blockCheck(const IecBytes& fromAfterStartThroughEnd);
  static IecBytes readoutMessage(const std::vector<std::string>& dataSets, bool badBcc = false);

 private:
  enum class State { Idle, AwaitOption, Programming, ReadBlocks };

  void takeSignOn(std::vector<IecBytes>& out);
  void takeOption(std::vector<IecBytes>& out);
  void takeCommand(const IecBytes& msg, std::vector<IecBytes>& out);
  IecBytes block(uint8_t start, const std::string& head, const std::string& body, uint8_t end) const;
  void nextReadBlock(std::vector<IecBytes>& out);

  mutable std::mutex mutex_;
  std::string address_;
  char baudChar_;
  std::string password_;
  std::vector<std::string> readout_;
  std::map<std::string, std::string> registers_;
  std::string pendingBlock_;
  IecMeterFaults faults_;
  State state_ = State::Idle;
  IecBytes in_;
  std::vector<std::string> readParts_;
  std::vector<int> speeds_;
  std::vector<IecBytes> commands_;
  int sessionCommands_ = 0;
};

// Runs a meter on a descriptor (the master side of a pseudo-terminal): a thread reads what
// the device sends and writes the meter's answers, late or in pieces as its faults say.
class IecMeterOnFd {
 public:
  IecMeterOnFd(IecMeter& meter, int fd);
  ~IecMeterOnFd();
  IecMeterOnFd(const IecMeterOnFd&) = delete;
  IecMeterOnFd& operator=(const IecMeterOnFd&) = delete;

  void stop();
  // Writes raw bytes to the device, as if the meter sent them unasked.
  void inject(const IecBytes& bytes);
  // Every byte received so far, in order.
  IecBytes received() const;

 private:
  void run();

  IecMeter& meter_;
  int fd_;
  mutable std::mutex mutex_;
  IecBytes received_;
  PeerThread thread_;
};

}  // namespace sim
