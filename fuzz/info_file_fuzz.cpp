// info.txt of arbitrary bytes: every line becomes a row, and the rows saved and read back
// are the same rows, where no field holds what the format cannot carry.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/info_file.h"
#include "fuzz_check.h"

using namespace zr::setup;

namespace {

const std::string& scratchFile() {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/zr-fuzz-info-" + std::to_string(getpid()) + ".txt";
  }();
  return path;
}

bool hasBreak(const std::string& s) { return s.find_first_of("\r\n") != std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  const std::string& path = scratchFile();
  FILE* f = std::fopen(path.c_str(), "wb");
  FUZZ_CHECK(f);
  FUZZ_CHECK(std::fwrite(data, 1, size, f) == size);
  FUZZ_CHECK(std::fclose(f) == 0);

  ResultList list;
  list.InitResultList();
  LoadItemList(list, path);
  FUZZ_CHECK(list.size() <= size);
  SaveItemList(list, path);
  ResultList back;
  back.InitResultList();
  LoadItemList(back, path);
  FUZZ_CHECK(back.size() == list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    const ResultRow &a = list.row(i), &b = back.row(i);
    FUZZ_CHECK(!hasBreak(a.caption) && !hasBreak(a.value) && !hasBreak(a.unit));
    FUZZ_CHECK(a.caption.find(',') == std::string::npos && a.value.find(',') == std::string::npos);
    FUZZ_CHECK(a.caption == b.caption && a.value == b.value && a.unit == b.unit && !b.checked);
  }
  unlink(path.c_str());
  return 0;
}
