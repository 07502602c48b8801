// A simulated DL/T 645 meter for trying the setup program without hardware: it opens a
// pseudo-terminal, prints the path of the port the program should open, and answers on it
// until it is stopped (Ctrl-C, or its standard input closing).
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"

int main(int argc, char** argv) {
  const char* address = argc > 1 ? argv[1] : "000000000001";
  sim::PtyPair pty;
  sim::Dlt645Meter meter(address);
  sim::loadDemoValues(meter);
  // "three-phase" as the second argument serves the three-phase load profile layout.
  meter.setThreePhaseProfile(argc > 2 && std::string(argv[2]) == "three-phase");
  sim::MeterOnFd peer(meter, pty.master());
  std::printf("%s\n", pty.slavePath().c_str());
  std::fflush(stdout);
  std::signal(SIGINT, [](int) {});
  std::signal(SIGTERM, [](int) {});
  // Run until stdin closes or a signal arrives.
  pollfd p{0, POLLIN, 0};
  char c;
  while (::poll(&p, 1, -1) > 0 && ::read(0, &c, 1) > 0) {
  }
  return 0;
}
