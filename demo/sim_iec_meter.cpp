// A simulated IEC 62056-21 meter for trying the IEC control without hardware: it opens a
// pseudo-terminal, prints the path of the port to open, and answers on it after a meter's
// reaction time until it is stopped (Ctrl-C, or its standard input closing).
//
//   sim_iec_meter [address [baud-rate character [password]]]
//
// The baud-rate character picks the mode: '0'-'6' mode C (default '5', 9600 baud),
// 'A'-'I' mode B, anything else mode A.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "sim/iec_meter.h"
#include "sim/pty_pair.h"

int main(int argc, char** argv) {
  const std::string address = argc > 1 ? argv[1] : "12345678";
  const char baudChar = argc > 2 && argv[2][0] ? argv[2][0] : '5';
  const std::string password = argc > 3 ? argv[3] : "00000000";
  sim::PtyPair pty;
  sim::IecMeter meter(address, baudChar, password);
  meter.setFaults({.delayMs = sim::kDemoIecReactionTimeMs});
  meter.setReadout({"0.0.0(" + address + ")", "0.9.1(10:30:00)", "0.9.2(26-12-08)", "1.8.0(001234.5*kWh)",
                    "1.8.1(000800.2*kWh)", "1.8.2(000434.3*kWh)", "32.7.0(230.1*V)", "31.7.0(012.50*A)", "F.F(00)"});
  meter.setRegister("96.1.0", address);
  meter.setRegister("C.1.0", address);
  sim::IecMeterOnFd peer(meter, pty.master());
  std::printf("%s\n", pty.slavePath().c_str());
  std::fflush(stdout);
  std::signal(SIGINT, [](int) {});
  std::signal(SIGTERM, [](int) {});
  pollfd p{0, POLLIN, 0};
  char c;
  while (::poll(&p, 1, -1) > 0 && ::read(0, &c, 1) > 0) {
  }
  return 0;
}
