// JPEG files decoded with libjpeg into a Qt image.
#pragma once

#include <QImage>
#include <string>

namespace zr::setup {

// The picture of the file, or a null image when the file is missing, is not a JPEG file the
// library can decode to RGB, or is larger than the program is willing to hold.
QImage loadJpegImage(const std::string& path);

}  // namespace zr::setup
