// The core's texts are narrow UTF-8; these convert them to and from Qt's strings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zr::setup {

inline QString toQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string fromQt(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace zr::setup
