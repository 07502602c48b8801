// The serial port's settings file of arbitrary bytes: whatever it loads, saving those
// settings and loading them again gives the same settings (the port name only where the
// file format can hold it: without blanks or a quote at its ends).
#include <unistd.h>

#include <cstdio>
#include <string>

#include "channels/serial/serial_config.h"
#include "fuzz_check.h"

using kavlink::SerialConfig;

namespace {

std::string scratch(const char* what) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/zr-fuzz-serial-" + what + "-" + std::to_string(getpid()) + ".ini";
}

bool formatHolds(const std::string& text) {
  auto plain = [](char c) { return c != ' ' && c != '\t' && c != '"' && c != '\''; };
  return text.empty() || (plain(text.front()) && plain(text.back()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  static const std::string in = scratch("in"), out = scratch("out");
  FILE* f = std::fopen(in.c_str(), "wb");
  FUZZ_CHECK(f);
  FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
  FUZZ_CHECK(std::fclose(f) == 0);

  SerialConfig loaded;
  kavlink::loadSerialConfig(in, loaded);
  std::remove(out.c_str());
  FUZZ_CHECK(kavlink::saveSerialConfig(out, loaded));
  SerialConfig again;
  again.port = "unchanged";
  kavlink::loadSerialConfig(out, again);
  if (!formatHolds(loaded.port)) again.port = loaded.port;
  FUZZ_CHECK(again == loaded);
  return 0;
}
