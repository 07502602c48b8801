// Profile (INI) files of arbitrary bytes: reads, one write, then the written key reads back
// as written, and a key the write did not touch reads as it did before.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "fuzz_check.h"
#include "profile/profile.h"

using namespace zr::profile;

namespace {

const std::string& scratchFile() {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/zr-fuzz-profile-" + std::to_string(getpid()) + ".ini";
  }();
  return path;
}

std::string trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

bool sameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(16);
  const std::string key = in.ConsumeRandomLengthString(16);
  const std::string value = in.ConsumeRandomLengthString(32);
  const std::string otherSection = in.ConsumeRandomLengthString(16);
  const std::string otherKey = in.ConsumeRandomLengthString(16);
  const std::string file = in.ConsumeRemainingBytesAsString();
  const std::string& path = scratchFile();
  FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f);
  FUZZ_CHECK(std::fwrite(file.data(), 1, file.size(), f) == file.size());
  FUZZ_CHECK(std::fclose(f) == 0);

  (void)getProfileString(path, section, key, "d");
  (void)getProfileInt(path, section, key, 7);
  const std::string otherBefore = getProfileString(path, otherSection, otherKey, "\x01missing");

  if (writeProfileString(path, section, key, value)) {
    // Names are written trimmed; reading drops the blanks around a value and one pair of enclosing quotes.
    std::string expected = trimmed(value);
    if (expected.size() >= 2 && (expected.front() == '"' || expected.front() == '\'') &&
        expected.back() == expected.front())
      expected = expected.substr(1, expected.size() - 2);
    FUZZ_CHECK(getProfileString(path, trimmed(section), trimmed(key), "\x01missing") == expected);
    const bool sameKey =
        sameNoCase(trimmed(section), trimmed(otherSection)) && sameNoCase(trimmed(key), trimmed(otherKey));
    if (!sameKey) FUZZ_CHECK(getProfileString(path, otherSection, otherKey, "\x01missing") == otherBefore);
  }
  unlink(path.c_str());
  return 0;
}
