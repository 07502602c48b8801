// The core's texts are narrow bytes of the byte-transparent code page: byte n is the
// character U+00nn. These convert them to and from Qt's strings without loss.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace zr::setup {

inline QString toQt(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Characters beyond U+00FF have no narrow form and become '?'.
inline std::string fromQt(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace zr::setup
