#include "ui/jpeg_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/jpeg_decode.h"

namespace zr::setup {

QImage loadJpegImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::vector<unsigned char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<unsigned char> pixels;
  unsigned width = 0;
  unsigned height = 0;
  if (!decodeJpeg(file, pixels, width, height)) return {};
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
  if (image.isNull()) return {};
  for (unsigned y = 0; y < height; ++y) {
    std::copy_n(pixels.data() + static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3,
                image.scanLine(static_cast<int>(y)));
  }
  return image;
}

}  // namespace zr::setup
