// The stream layout controls save their properties in: a 32-bit version, the extent cx and
// cy, then each property as a 16-bit variant type and its value, little-endian. A string
// is a 32-bit byte count including its terminating zero character, then the UTF-16 text
// and terminator; a null string is a count of 0 alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "com/com.h"

namespace kavlink {

class PropertyStreamWriter {
 public:
  PropertyStreamWriter(uint32_t version, uint32_t cx, uint32_t cy);
  void ui4(uint32_t v);
  void i4(int32_t v);
  void i1(int8_t v);
  void boolean(VARIANT_BOOL v);
  void bstr(BSTR s);
  // Writes everything at once; S_OK or the stream's failure.
  HRESULT writeTo(IStream* stream) const;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  void raw(const void* p, size_t n);
  void tag(VARTYPE vt);
  std::vector<uint8_t> bytes_;
};

// Reads the same layout. Each value is read by its own type tag and coerced to the type
// asked for (a container may have stored a property under a neighbouring type); every read
// throws zr::com::HResultError when the stream ends early, a tag is unknown or the value
// does not fit.
class PropertyStreamReader {
 public:
  explicit PropertyStreamReader(IStream* stream);
  uint32_t version() const { return version_; }
  uint32_t cx() const { return cx_; }
  uint32_t cy() const { return cy_; }
  uint32_t ui4();
  int32_t i4();
  int8_t i1();
  VARIANT_BOOL boolean();
  // A new BSTR (null for a null string); the caller frees it.
  BSTR bstr();

 private:
  void raw(void* p, size_t n);
  // The next value, coerced to vt.
  void next(VARTYPE vt, VARIANT& out);
  IStream* stream_;
  uint32_t version_ = 0, cx_ = 0, cy_ = 0;
};

}  // namespace kavlink
