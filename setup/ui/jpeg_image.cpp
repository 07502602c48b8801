#include "ui/jpeg_image.h"

// jpeglib.h needs the size types declared first.
#include <cstddef>
#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <fstream>
#include <iterator>
#include <vector>

namespace zr::setup {
namespace {

// Larger pictures are refused rather than decoded: a splash never needs them.
constexpr JDIMENSION kMaxSide = 8192;

struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf escape;
};

[[noreturn]] void onError(j_common_ptr info) {
  // Back into decode(): only the library's C frames lie between.
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->escape, 1);
}

void onMessage(j_common_ptr) {}  // warnings are not shown

// Decodes into pixels (RGB, 3 bytes each, rows packed). Keeps to plain data between
// setjmp and the library calls, as a jump back skips no destructor then.
bool decode(const std::vector<unsigned char>& file, std::vector<unsigned char>& pixels, JDIMENSION& width,
            JDIMENSION& height) {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = onError;
  errors.base.output_message = onMessage;
  if (setjmp(errors.escape)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_RGB;
  if (info.image_width == 0 || info.image_height == 0 || info.image_width > kMaxSide || info.image_height > kMaxSide) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_start_decompress(&info);
  if (info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  width = info.output_width;
  height = info.output_height;
  // Sized before the rows are read, so the jump back never meets a growing vector.
  pixels.assign(static_cast<size_t>(width) * height * 3, 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels.data() + static_cast<size_t>(info.output_scanline) * width * 3;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return true;
}

}  // namespace

QImage loadJpegImage(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::vector<unsigned char> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (file.empty()) return {};
  std::vector<unsigned char> pixels;
  JDIMENSION width = 0;
  JDIMENSION height = 0;
  if (!decode(file, pixels, width, height)) return {};
  QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB888);
  if (image.isNull()) return {};
  for (JDIMENSION y = 0; y < height; ++y) {
    std::copy_n(pixels.data() + static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3,
                image.scanLine(static_cast<int>(y)));
  }
  return image;
}

}  // namespace zr::setup
