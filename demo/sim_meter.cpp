// A simulated DL/T 645 meter for trying the setup program without hardware: it opens a
// pseudo-terminal, prints the path of the port the program should open, and answers on it
// until it is stopped (Ctrl-C, or its standard input closing).
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "sim/dlt645_meter.h"
#include "sim/meter_on_fd.h"
#include "sim/pty_pair.h"

int main(int argc, char** argv) {
  const char* address = argc > 1 ? argv[1] : "000000000001";
  sim::PtyPair pty;
  sim::Dlt645Meter meter(address);
  // Plausible readings for the sample items, as BCD bytes, least significant first.
  meter.setValue(0x9010, {0x45, 0x23, 0x01, 0x00});  // 000123.45 kWh
  meter.setValue(0x9011, {0x10, 0x45, 0x00, 0x00});
  meter.setValue(0x9012, {0x35, 0x78, 0x00, 0x00});
  meter.setValue(0x9020, {0x00, 0x00, 0x00, 0x00});
  meter.setValue(0x9110, {0x12, 0x03, 0x00, 0x00});
  meter.setValue(0xB611, {0x20, 0x02});  // 220 V
  meter.setValue(0xB621, {0x50, 0x12});  // 12.50 A
  meter.setValue(0xB630, {0x75, 0x27, 0x00});
  meter.setValue(0xC010, {0x02, 0x08, 0x12, 0x26});  // Tuesday 2026-12-08
  meter.setValue(0xC011, {0x00, 0x30, 0x10});        // 10:30:00
  meter.setValue(0xC020, {0x03});
  meter.setValue(0xC030, {0x00, 0x32, 0x00});
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
