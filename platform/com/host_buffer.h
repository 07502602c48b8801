// The host's buffer behind a raw-buffer argument: the address the host passed and the number
// of bytes a member moves there. The host owns the memory and its size; the one fault the
// component can see is an address of 0 where bytes are to move, and every member that takes
// a ptrBuf asks this view before it touches the memory, so none can forget to.
#pragma once

#include <cstddef>
#include <cstdint>

#include "com/com.h"

namespace zr::com {

class HostBuffer {
 public:
  HostBuffer(PTRBUF address, LONG length) : address_(address), length_(length) {}

  // Bytes can move: the length is not negative, and there is an address unless it is 0.
  bool usable() const { return length_ >= 0 && (length_ == 0 || address_ != 0); }
  LONG length() const { return length_; }
  size_t size() const { return usable() ? static_cast<size_t>(length_) : 0; }

  uint8_t* bytes() const { return usable() ? reinterpret_cast<uint8_t*>(address_) : nullptr; }
  char* chars() const { return reinterpret_cast<char*>(bytes()); }

 private:
  PTRBUF address_;
  LONG length_;
};

}  // namespace zr::com
