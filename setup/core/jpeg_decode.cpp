#include "core/jpeg_decode.h"

// jpeglib.h needs the size types declared first.
#include <cstddef>
#include <cstdio>
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>
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

// A file cut short is decoded by the library with grey rows in place of the missing ones,
// after a warning: that is no picture to show, so it fails like an error.
void onWarning(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) onError(info);
}

}  // namespace

// Keeps to plain data between setjmp and the library calls, as a jump back skips no
// destructor then.
bool decodeJpeg(const std::vector<unsigned char>& file, std::vector<unsigned char>& pixels, unsigned& width,
                unsigned& height) {
  if (file.empty()) return false;
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = onError;
  errors.base.output_message = onMessage;
  errors.base.emit_message = onWarning;
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

}  // namespace zr::setup
