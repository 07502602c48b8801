// The device itself. Like the mapping, this file speaks termios2 through ioctl and so keeps
// the C library's <termios.h> and <sys/ioctl.h> out.
#include "serial/serial_device.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <linux/termios.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept;

namespace zr::serial {

namespace {

// Unix98 pseudo-terminal slaves use majors 136-143, the legacy BSD ones major 3.
bool isPtySlave(const struct stat& st) {
  unsigned maj = major(st.st_rdev);
  return (maj >= 136 && maj <= 143) || maj == 3;
}

void setModemLine(int fd, int bit, bool on) {
  // Lines a device does not have (a pseudo-terminal has none) answer with an error that
  // changes nothing; the setting is still accepted.
  ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bit);
}

uint32_t elapsedMs(std::chrono::steady_clock::time_point since) {
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

}  // namespace

SerialDevice::~SerialDevice() { close(); }

void SerialDevice::fail(SerialError::Kind kind, int err, const char* what) const {
  std::string text = what;
  if (err) text += std::string(": ") + std::strerror(err);
  throw SerialError(kind, err, text);
}

void SerialDevice::open(const std::string& path) {
  using K = SerialError::Kind;
  if (fd_ >= 0) fail(K::Open, EBUSY, "device already open");
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) fail(K::Open, errno, "open");
  auto bail = [&](int err, const char* what) {
    ::close(fd);
    fail(K::Open, err, what);
  };
  termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) bail(errno, "not a terminal");
  struct stat st {};
  if (fstat(fd, &st) != 0) bail(errno, "fstat");
  // TIOCEXCL keeps other users out but not a privileged one; the lock also holds against
  // a second open in this very process. The flag outlives this descriptor, so nothing
  // that can fail comes between setting it and the point where close clears it again.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) bail(errno == EWOULDBLOCK ? EBUSY : errno, "device in use");
  if (ioctl(fd, TIOCEXCL) != 0) bail(errno, "exclusive mode");

  // Raw mode at the speed the line has, so nothing is cooked before configure runs.
  LineSettings raw;
  raw.baudRate = t.c_ospeed ? t.c_ospeed : 9600;
  fillTermios(raw, t);
  if (ioctl(fd, TCSETS2, &t) != 0) {
    stripForPseudoTerminal(t);
    ioctl(fd, TCSETS2, &t);
  }

  fd_ = fd;
  pty_ = S_ISCHR(st.st_mode) && isPtySlave(st);
  dataFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  kickFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  waitFd_ = epoll_create1(EPOLL_CLOEXEC);
  watchFd_ = epoll_create1(EPOLL_CLOEXEC);
  bool ok = dataFd_ >= 0 && kickFd_ >= 0 && waitFd_ >= 0 && watchFd_ >= 0;
  auto add = [](int ep, int fd) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    return epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev) == 0;
  };
  ok = ok && add(waitFd_, fd_) && add(waitFd_, dataFd_) && add(watchFd_, fd_) && add(watchFd_, kickFd_);
  if (!ok) {
    int err = errno;
    ioctl(fd_, TIOCNXCL);
    closeDescriptors();
    fail(K::Open, err, "event descriptors");
  }

  int lines = 0;
  hasModem_ = ioctl(fd_, TIOCMGET, &lines) == 0;
  serial_icounter_struct ic{};
  hasCounters_ = ioctl(fd_, TIOCGICOUNT, &ic) == 0;
  std::lock_guard lock(m_);
  settings_ = raw;
  queue_ = ReceiveQueue();
  dataSignalled_ = false;
  eventMask_ = 0;
  pending_ = 0;
  ownEvents_ = 0;
  watcherArmed_ = true;
  txArmed_ = false;
  hungUp_ = false;
  hangupReported_ = false;
  lastModem_ = static_cast<uint32_t>(lines);
  lastCts_ = static_cast<uint32_t>(ic.cts);
  lastDsr_ = static_cast<uint32_t>(ic.dsr);
  lastRng_ = static_cast<uint32_t>(ic.rng);
  lastDcd_ = static_cast<uint32_t>(ic.dcd);
  lastErrors_ = {static_cast<uint32_t>(ic.frame), static_cast<uint32_t>(ic.overrun), static_cast<uint32_t>(ic.parity),
                 static_cast<uint32_t>(ic.brk), static_cast<uint32_t>(ic.buf_overrun)};
}

void SerialDevice::closeDescriptors() {
  for (int* fd : {&watchFd_, &waitFd_, &dataFd_, &kickFd_, &fd_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  pty_ = hasModem_ = hasCounters_ = false;
}

void SerialDevice::close() {
  if (fd_ < 0) return;
  bool sent = drain(drainBoundMs());
  // Output that could not leave in time (flow control holding it) is dropped so that the
  // close itself does not hang. On a pseudo-terminal the "output queue" is the far end's
  // unread input, which a flush would destroy, and there is nothing unsent to drop.
  ioctl(fd_, TCFLSH, sent || pty_ ? TCIFLUSH : TCIOFLUSH);
  // The exclusive flag belongs to the terminal, not to this descriptor: leave it as found.
  ioctl(fd_, TIOCNXCL);
  closeDescriptors();
  std::lock_guard lock(m_);
  queue_.clear();
  dataSignalled_ = false;
  eventMask_ = pending_ = ownEvents_ = 0;
  txArmed_ = false;
}

void SerialDevice::configure(const LineSettings& s, bool afterOutput) {
  using K = SerialError::Kind;
  if (fd_ < 0) fail(K::Settings, EBADF, "device not open");
  SettingsCheck check = checkSettings(s);
  if (check == SettingsCheck::Invalid) fail(K::Settings, EINVAL, "invalid line settings");
  if (check == SettingsCheck::Unsupported && !pty_) fail(K::Settings, EOPNOTSUPP, "line settings not supported");
  if (afterOutput) drain(drainBoundMs());

  termios2 before{};
  if (ioctl(fd_, TCGETS2, &before) != 0) fail(K::Settings, errno, "read settings");
  termios2 want = before;
  fillTermios(s, want);
  if (ioctl(fd_, TCSETS2, &want) != 0) {
    int err = errno;
    if (!pty_) fail(K::Settings, err, "apply settings");
    // A pseudo-terminal that dropped parity earlier may refuse it now; ask for the rest.
    stripForPseudoTerminal(want);
    ioctl(fd_, TCSETS2, &want);
  }
  if (!pty_) {
    termios2 got{};
    if (ioctl(fd_, TCGETS2, &got) != 0 || !termiosHolds(want, got)) {
      ioctl(fd_, TCSETS2, &before);
      fail(K::Settings, EINVAL, "line settings not held");
    }
  }
  if (s.dtrControl != kLineHandshake) setModemLine(fd_, TIOCM_DTR, s.dtrControl == kLineOn);
  if (!(want.c_cflag & CRTSCTS) && s.rtsControl != kLineToggle) setModemLine(fd_, TIOCM_RTS, s.rtsControl == kLineOn);

  std::lock_guard lock(m_);
  settings_ = s;
  queue_.setOptions({s.parityCheck, s.discardNull, s.replaceErrors, s.errorChar, s.eventChar});
}

LineSettings SerialDevice::settings() const {
  std::lock_guard lock(m_);
  return settings_;
}

void SerialDevice::kickLocked() {
  uint64_t one = 1;
  if (kickFd_ >= 0) (void)!::write(kickFd_, &one, sizeof one);
}

void SerialDevice::syncReadableLocked(bool byOwner) {
  // Only bytes the watcher took need the signal: the owner looks at the queue before it
  // waits, and a signal per reply would cost two system calls for nothing.
  bool want = !queue_.empty() && (dataSignalled_ || !byOwner);
  if (want == dataSignalled_ || dataFd_ < 0) return;
  uint64_t v = 1;
  if (want) {
    (void)!::write(dataFd_, &v, sizeof v);
  } else {
    (void)!::read(dataFd_, &v, sizeof v);
  }
  dataSignalled_ = want;
}

void SerialDevice::pullLocked(bool byOwner) {
  if (fd_ < 0 || hungUp_) return;
  bool accept = true;
  if (settings_.dsrSensitivity && hasModem_) {
    int lines = 0;
    accept = ioctl(fd_, TIOCMGET, &lines) != 0 || (lines & TIOCM_DSR) != 0;
  }
  uint8_t raw[4096];
  uint32_t events = 0;
  for (;;) {
    ssize_t r = ::read(fd_, raw, sizeof raw);
    if (r > 0) {
      events |= queue_.push(raw, static_cast<size_t>(r), accept);
      if (static_cast<size_t>(r) < sizeof raw) break;
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    // End of file or EIO: the far end is gone (adapter unplugged, pty master closed).
    hungUp_ = true;
    break;
  }
  // Where the driver counts errors, the counters say it; the marks would say it twice.
  if (hasCounters_) events &= ~(kEvErr | kEvBreak);
  if (byOwner) {
    ownEvents_ |= events & eventMask_;
    // The hang-up is the watcher's to report, after which it ends.
    if (hungUp_ && eventMask_) kickLocked();
  } else {
    pending_ |= events & eventMask_;
  }
  syncReadableLocked(byOwner);
}

void SerialDevice::armWatcherLocked(bool on) {
  if (on == watcherArmed_ || watchFd_ < 0) return;
  // A line the watcher does not watch still reports a hang-up (always part of the mask).
  epoll_event ev{};
  ev.events = on ? static_cast<uint32_t>(EPOLLIN) : 0u;
  ev.data.fd = fd_;
  if (epoll_ctl(watchFd_, EPOLL_CTL_MOD, fd_, &ev) != 0) return;
  watcherArmed_ = on;
  // A watcher asleep without a time-out must learn that it is to take the line back later.
  if (!on) kickLocked();
}

void SerialDevice::beginOwnerWait() {
  ownerWaits_.begin();
  std::lock_guard lock(m_);
  if (eventMask_) armWatcherLocked(false);
}

void SerialDevice::endOwnerWait() { ownerWaits_.end(); }

uint32_t SerialDevice::takeOwnEvents() {
  std::lock_guard lock(m_);
  return std::exchange(ownEvents_, 0);
}

size_t SerialDevice::write(const void* data, size_t n) {
  using K = SerialError::Kind;
  if (fd_ < 0) fail(K::Write, EBADF, "device not open");
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::write(fd_, p + done, n - done);
    if (r > 0) {
      done += static_cast<size_t>(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd pfd{fd_, POLLOUT, 0};
      if (poll(&pfd, 1, -1) < 0 && errno != EINTR) fail(K::Write, errno, "write");
      continue;
    }
    fail(K::Write, r < 0 ? errno : EIO, "write");
  }
  if (n > 0) {
    std::lock_guard lock(m_);
    if (eventMask_ & kEvTxEmpty) {
      if (pty_) {
        // A pseudo-terminal has no output queue of its own: written is sent.
        ownEvents_ |= kEvTxEmpty;
      } else {
        txArmed_ = true;
        kickLocked();
      }
    }
  }
  return done;
}

size_t SerialDevice::read(void* out, size_t n) {
  using K = SerialError::Kind;
  if (fd_ < 0) fail(K::Read, EBADF, "device not open");
  std::lock_guard lock(m_);
  // What is queued already answers a read of no more than that; the line is looked at
  // by the next count or wait.
  if (queue_.size() < n) pullLocked(true);
  if (queue_.empty() && hungUp_) fail(K::Read, EIO, "read");
  size_t got = queue_.take(static_cast<uint8_t*>(out), n);
  syncReadableLocked(true);
  return got;
}

size_t SerialDevice::inQueue() {
  using K = SerialError::Kind;
  if (fd_ < 0) fail(K::Status, EBADF, "device not open");
  std::lock_guard lock(m_);
  pullLocked(true);
  if (queue_.empty() && hungUp_) fail(K::Status, EIO, "line status");
  return queue_.size();
}

size_t SerialDevice::queued() const {
  std::lock_guard lock(m_);
  return queue_.size();
}

size_t SerialDevice::outQueue() {
  using K = SerialError::Kind;
  if (fd_ < 0) fail(K::Status, EBADF, "device not open");
  int n = 0;
  if (ioctl(fd_, TIOCOUTQ, &n) != 0) fail(K::Status, errno, "output queue");
  return static_cast<size_t>(std::max(n, 0));
}

void SerialDevice::purge(bool rx, bool tx) {
  using K = SerialError::Kind;
  if (fd_ < 0) fail(K::Purge, EBADF, "device not open");
  // A pseudo-terminal sends at once: what a transmit flush would drop there is the far
  // end's unread input, which a real line would already have delivered.
  if (pty_) tx = false;
  if (rx || tx) {
    int which = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
    if (ioctl(fd_, TCFLSH, which) != 0) fail(K::Purge, errno, "flush");
  }
  if (rx) {
    std::lock_guard lock(m_);
    queue_.clear();
    syncReadableLocked(true);
  }
}

uint32_t SerialDevice::drainBoundMs() {
  if (fd_ < 0) return 0;
  int n = 0;
  if (ioctl(fd_, TIOCOUTQ, &n) != 0 || n <= 0) return 20;
  LineSettings s = settings();
  uint64_t ms = static_cast<uint64_t>(n) * bitsPerByte(s) * 1000 / std::max<uint32_t>(s.baudRate, 1);
  return static_cast<uint32_t>(std::min<uint64_t>(ms + 50, UINT32_MAX));
}

bool SerialDevice::drain(uint32_t maxMs) {
  if (fd_ < 0) return true;
  auto start = std::chrono::steady_clock::now();
  LineSettings s = settings();
  for (;;) {
    int n = 0;
    if (ioctl(fd_, TIOCOUTQ, &n) != 0 || n <= 0) return true;
    uint32_t spent = elapsedMs(start);
    if (spent >= maxMs) return false;
    uint64_t need = static_cast<uint64_t>(n) * bitsPerByte(s) * 1000 / std::max<uint32_t>(s.baudRate, 1);
    int step = static_cast<int>(std::clamp<uint64_t>(need, 1, std::min<uint32_t>(maxMs - spent, 50)));
    poll(nullptr, 0, step);
  }
}

uint32_t SerialDevice::modemStatus() {
  if (fd_ < 0 || !hasModem_) return 0;
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) != 0) return 0;
  uint32_t out = 0;
  if (lines & TIOCM_CTS) out |= kModemCts;
  if (lines & TIOCM_DSR) out |= kModemDsr;
  if (lines & TIOCM_RI) out |= kModemRing;
  if (lines & TIOCM_CD) out |= kModemRlsd;
  return out;
}

bool SerialDevice::lineErrors(LineErrors& out) {
  if (fd_ < 0 || !hasCounters_) return false;
  serial_icounter_struct ic{};
  if (ioctl(fd_, TIOCGICOUNT, &ic) != 0) return false;
  out = {static_cast<uint32_t>(ic.frame), static_cast<uint32_t>(ic.overrun), static_cast<uint32_t>(ic.parity),
         static_cast<uint32_t>(ic.brk), static_cast<uint32_t>(ic.buf_overrun)};
  return true;
}

uint32_t SerialDevice::lineChangesLocked() {
  uint32_t events = 0;
  if (hasCounters_) {
    // Counters catch a pulse shorter than any polling interval.
    serial_icounter_struct ic{};
    if (ioctl(fd_, TIOCGICOUNT, &ic) == 0) {
      auto changed = [](uint32_t& last, int now) {
        bool c = last != static_cast<uint32_t>(now);
        last = static_cast<uint32_t>(now);
        return c;
      };
      if (changed(lastCts_, ic.cts)) events |= kEvCts;
      if (changed(lastDsr_, ic.dsr)) events |= kEvDsr;
      if (changed(lastDcd_, ic.dcd)) events |= kEvRlsd;
      if (changed(lastRng_, ic.rng)) events |= kEvRing;
      if (changed(lastErrors_.breaks, ic.brk)) events |= kEvBreak;
      bool err = changed(lastErrors_.frame, ic.frame);
      err = changed(lastErrors_.overrun, ic.overrun) || err;
      err = changed(lastErrors_.parity, ic.parity) || err;
      err = changed(lastErrors_.bufferOverrun, ic.buf_overrun) || err;
      if (err) events |= kEvErr;
      return events;
    }
  }
  if (hasModem_) {
    int lines = 0;
    if (ioctl(fd_, TIOCMGET, &lines) == 0) {
      uint32_t diff = lastModem_ ^ static_cast<uint32_t>(lines);
      lastModem_ = static_cast<uint32_t>(lines);
      if (diff & TIOCM_CTS) events |= kEvCts;
      if (diff & TIOCM_DSR) events |= kEvDsr;
      if (diff & TIOCM_CD) events |= kEvRlsd;
      if (diff & TIOCM_RI) events |= kEvRing;
    }
  }
  return events;
}

void SerialDevice::setEventMask(uint32_t mask) {
  std::lock_guard lock(m_);
  eventMask_ = mask & kEvAll;
  pending_ &= eventMask_;
  if (!(eventMask_ & kEvTxEmpty)) txArmed_ = false;
  kickLocked();
}

bool SerialDevice::hungUp() const {
  std::lock_guard lock(m_);
  return hungUp_;
}

uint32_t SerialDevice::waitEvents(int cancelFd) {
  for (;;) {
    int timeout = -1;
    {
      std::lock_guard lock(m_);
      if (fd_ < 0 || eventMask_ == 0) return 0;
      uint64_t v;
      (void)!::read(kickFd_, &v, sizeof v);
      if (hungUp_ && hangupReported_) return 0;
      if (!watcherArmed_ && ownerWaits_.mayReclaim()) armWatcherLocked(true);
      if (watcherArmed_ || hungUp_) pullLocked(false);
      pending_ |= lineChangesLocked() & eventMask_;
      if (txArmed_) {
        int n = 0;
        if (ioctl(fd_, TIOCOUTQ, &n) != 0 || n <= 0) {
          txArmed_ = false;
          pending_ |= kEvTxEmpty & eventMask_;
        } else {
          uint64_t need = static_cast<uint64_t>(n) * bitsPerByte(settings_) * 1000 / std::max(settings_.baudRate, 1u);
          timeout = static_cast<int>(std::clamp<uint64_t>(need, 1, 50));
        }
      }
      if (hungUp_) {
        hangupReported_ = true;
        pending_ |= kEvErr & eventMask_;
      }
      uint32_t out = pending_;
      pending_ = 0;
      if (out) return out;
      if (hungUp_) return 0;
      // Modem lines have no wake-up of their own here: look at them every 10 ms.
      if (hasModem_ || hasCounters_) timeout = timeout < 0 ? 10 : std::min(timeout, 10);
      if (!watcherArmed_) timeout = timeout < 0 ? kReclaimMs : std::min(timeout, kReclaimMs);
    }
    pollfd fds[2] = {{watchFd_, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    int r = poll(fds, cancelFd >= 0 ? 2 : 1, timeout);
    if (r < 0 && errno != EINTR) return 0;
    if (r > 0 && cancelFd >= 0 && fds[1].revents != 0) return 0;
    if (r > 0 && fds[0].revents != 0) {
      epoll_event evs[2];
      int k = epoll_wait(watchFd_, evs, 2, 0);
      for (int i = 0; i < k; ++i) {
        if (evs[i].data.fd != fd_ || !(evs[i].events & (EPOLLHUP | EPOLLERR))) continue;
        std::lock_guard lock(m_);
        pullLocked(false);  // takes what is left; then the line counts as hung up
        hungUp_ = true;
      }
    }
  }
}

}  // namespace zr::serial
