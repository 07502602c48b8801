// JPEG pictures decoded with libjpeg into RGB pixels.
#pragma once

#include <vector>

namespace zr::setup {

// Decodes the file's bytes into pixels (RGB, 3 bytes each, rows packed). False when the
// bytes are not a whole JPEG picture the library can decode to RGB, or the picture is
// larger than the program is willing to hold.
bool decodeJpeg(const std::vector<unsigned char>& file, std::vector<unsigned char>& pixels, unsigned& width,
                unsigned& height);

}  // namespace zr::setup
