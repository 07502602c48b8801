// A serial device on termios: exclusive open, raw line settings, non-blocking I/O through
// a user-space receive queue, queue counts, purge, drain, modem lines, line-error counters
// and the comm events a watcher thread waits for.
//
// Threads: one owner thread opens, configures, reads, writes, purges and closes; one
// watcher thread may sit in waitEvents meanwhile. The owner stops the watcher before it
// closes the device (descriptor numbers are reused at once).
//
// Events are found by whichever thread takes bytes off the line. The watcher hands its
// own to the owner (waitEvents); what the owner finds itself, while reading or waiting,
// it collects with takeOwnEvents, so an exchange costs no hand-over between threads.
// While the owner waits for input the watcher leaves the line alone: both waking for the
// same reply would only make them contend for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>

#include "msg/owner_waits.h"
#include "serial/line_settings.h"
#include "serial/receive_queue.h"

namespace zr::serial {

class SerialError : public std::runtime_error {
 public:
  enum class Kind { Open, Settings, Read, Write, Status, Purge };
  SerialError(Kind kind, int error, const std::string& what) : std::runtime_error(what), kind_(kind), error_(error) {}
  Kind kind() const { return kind_; }
  int error() const { return error_; }  // errno, 0 when none applies

 private:
  Kind kind_;
  int error_;
};

// Modem status bits (CTS, DSR, RING, RLSD), as hosts know them.
enum ModemStatus : uint32_t { kModemCts = 0x10, kModemDsr = 0x20, kModemRing = 0x40, kModemRlsd = 0x80 };

struct LineErrors {
  uint32_t frame = 0;
  uint32_t overrun = 0;
  uint32_t parity = 0;
  uint32_t breaks = 0;
  uint32_t bufferOverrun = 0;
};

class SerialDevice {
 public:
  SerialDevice() = default;
  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // Opens a terminal device for this object alone: a second opener, in this process or
  // another, is refused. The line is put in raw mode at the current speed.
  void open(const std::string& path);
  // Output still queued gets the time it needs at the line's speed; then the device goes.
  void close();
  bool isOpen() const { return fd_ >= 0; }
  // Pseudo-terminals cannot hold data bits, parity, speed or modem lines; settings they
  // drop are accepted there, while a real line refuses what it cannot apply.
  bool isPseudoTerminal() const { return pty_; }

  // Applies the settings. With afterOutput, output already queued goes out at the old
  // settings first (bounded by drainBoundMs). Throws Kind::Settings.
  void configure(const LineSettings& s, bool afterOutput = false);
  LineSettings settings() const;

  // Writes every byte (waiting for room as needed). Throws Kind::Write.
  size_t write(const void* data, size_t n);
  // Takes up to n bytes that have arrived; never waits. Throws Kind::Read.
  size_t read(void* out, size_t n);
  // Bytes waiting to be read. Throws Kind::Status.
  size_t inQueue();
  // Bytes already taken off the line and not read yet; looks at nothing else.
  size_t queued() const;
  // Bytes the driver has not sent yet. Throws Kind::Status.
  size_t outQueue();
  // Discards received bytes (rx) and unsent output (tx). Throws Kind::Purge.
  void purge(bool rx, bool tx);
  // Waits up to maxMs for queued output to leave; true when it did.
  bool drain(uint32_t maxMs);
  // The time the queued output needs at the line's speed, with a margin.
  uint32_t drainBoundMs();

  // A descriptor that is readable while bytes wait to be read, wherever they wait.
  int readableFd() const { return waitFd_; }

  // Owner thread: brackets a wait for input, during which the owner alone reads the line.
  // The watcher takes it back once a whole kReclaimMs has passed without an owner wait.
  static constexpr int kReclaimMs = msg::OwnerWaits::kReclaimMs;
  void beginOwnerWait();
  void endOwnerWait();
  // Owner thread: the events of the mask that the owner's own reads and writes raised
  // since the last call (a write on a pseudo-terminal empties its output at once).
  uint32_t takeOwnEvents();

  bool hasModemLines() const { return hasModem_; }
  uint32_t modemStatus();
  // False where the driver keeps no error counters.
  bool lineErrors(LineErrors& out);

  // The events waitEvents reports; 0 ends a waitEvents under way with 0.
  void setEventMask(uint32_t mask);
  // Blocks until events of the mask occur and returns them; returns 0 when cancelFd becomes
  // readable or the mask is 0. A hang-up is reported once as kEvErr; after that the result
  // is 0 at once, so a watcher ends instead of spinning.
  uint32_t waitEvents(int cancelFd);
  bool hungUp() const;

 private:
  // byOwner: called on the owner thread (reads, queue counts), else by the watcher.
  void pullLocked(bool byOwner);
  void syncReadableLocked(bool byOwner);
  void armWatcherLocked(bool on);
  void kickLocked();
  uint32_t lineChangesLocked();
  void closeDescriptors();
  [[noreturn]] void fail(SerialError::Kind kind, int err, const char* what) const;

  int fd_ = -1;
  int waitFd_ = -1;   // epoll over fd_ and dataFd_
  int dataFd_ = -1;   // eventfd, readable while the receive queue holds bytes
  int kickFd_ = -1;   // eventfd that wakes waitEvents
  int watchFd_ = -1;  // epoll the watcher waits on: fd_ (while armed) and kickFd_
  bool pty_ = false;
  bool hasModem_ = false;
  bool hasCounters_ = false;

  mutable std::mutex m_;
  LineSettings settings_;
  ReceiveQueue queue_;
  bool dataSignalled_ = false;
  uint32_t eventMask_ = 0;
  uint32_t pending_ = 0;    // found by the watcher, for waitEvents
  uint32_t ownEvents_ = 0;  // found by the owner, for takeOwnEvents
  bool watcherArmed_ = false;
  msg::OwnerWaits ownerWaits_;
  bool txArmed_ = false;
  bool hungUp_ = false;
  bool hangupReported_ = false;
  uint32_t lastModem_ = 0;
  LineErrors lastErrors_;
  uint32_t lastCts_ = 0, lastDsr_ = 0, lastRng_ = 0, lastDcd_ = 0;
};

}  // namespace zr::serial
