// The splash picture's decoder fed arbitrary files: it either gives a whole picture of the
// size it reports or refuses the file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/jpeg_decode.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<unsigned char> file(data, data + size);
  std::vector<unsigned char> pixels;
  unsigned width = 0;
  unsigned height = 0;
  if (zr::setup::decodeJpeg(file, pixels, width, height)) {
    FUZZ_CHECK(width > 0 && height > 0);
    FUZZ_CHECK(pixels.size() == static_cast<size_t>(width) * height * 3);
  }
  return 0;
}
