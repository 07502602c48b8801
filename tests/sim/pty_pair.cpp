#include "sim/pty_pair.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace sim {

PtyPair::PtyPair(bool keepSlaveOpen) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
    throw std::runtime_error("cannot make a pseudo-terminal");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
  slavePath_ = name;
  if (keepSlaveOpen) {
    slaveHolder_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveHolder_ >= 0) {
      termios t{};
      ::tcgetattr(slaveHolder_, &t);
      ::cfmakeraw(&t);
      ::tcsetattr(slaveHolder_, TCSANOW, &t);
    }
  }
}

PtyPair::~PtyPair() {
  closeSlaveHolder();
  closeMaster();
}

void PtyPair::closeMaster() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

void PtyPair::closeSlaveHolder() {
  if (slaveHolder_ >= 0) ::close(slaveHolder_);
  slaveHolder_ = -1;
}

}  // namespace sim
