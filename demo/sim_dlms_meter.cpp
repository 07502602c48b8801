// A simulated DLMS meter for trying a DLMS host without hardware: the component's own
// meter-side engine answering from a small object table (clock 0.0.1.0.0.255, energy
// 1.0.1.8.0.255 and 1.0.2.8.0.255, a load profile 1.0.99.1.0.255, the relay
// 0.0.96.3.10.255). It opens a pseudo-terminal and prints the path of the port to open,
// or with --tcp listens on a loopback port and prints it; it answers until stopped
// (Ctrl-C, or its standard input closing).
//   sim_dlms_meter [--tcp] [authentication level 0|1|2]
// Level 1 takes the password "12345678"; level 2 is mechanism 2 as standard clients do it,
// AES-128 with the secret "HLSsecret", so any open DLMS client can be pointed at it.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "sim/dlms_meter.h"
#include "sim/pty_pair.h"

int main(int argc, char** argv) {
  bool tcp = false;
  LONG level = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tcp") == 0)
      tcp = true;
    else
      level = std::atoi(argv[i]);
  }
  sim::DlmsObjectTable table;
  std::unique_ptr<sim::PtyPair> pty;
  std::unique_ptr<sim::DlmsMeterPeer> meter;
  if (tcp) {
    meter = std::make_unique<sim::DlmsMeterPeer>(table, level);
    std::printf("127.0.0.1:%d\n", meter->port());
  } else {
    pty = std::make_unique<sim::PtyPair>();
    meter = std::make_unique<sim::DlmsMeterPeer>(table, level, pty->master());
    std::printf("%s\n", pty->slavePath().c_str());
  }
  std::fflush(stdout);
  std::signal(SIGINT, [](int) {});
  std::signal(SIGTERM, [](int) {});
  pollfd p{0, POLLIN, 0};
  char c;
  while (::poll(&p, 1, -1) > 0 && ::read(0, &c, 1) > 0) {
  }
  meter->stop();
  return 0;
}
