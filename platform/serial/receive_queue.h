// The receive queue in user space. The kernel hands over raw bytes; what a host expects of
// a serial port's input queue on top of that (dropped zero bytes, error bytes replaced, the
// event character noticed) has no kernel equivalent and is done here as bytes come in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zr::serial {

struct ReceiveOptions {
  bool marked = false;  // input carries the kernel's error marks (PARMRK)
  bool discardNull = false;
  bool replaceErrors = false;
  uint8_t errorChar = 0;
  uint8_t eventChar = 0;
};

class ReceiveQueue {
 public:
  // Takes effect for the bytes that come next; a mark split across reads is kept.
  void setOptions(const ReceiveOptions& o);

  // Decodes bytes read from the line and queues them. With accept false (DSR sensitivity
  // and DSR off) the bytes are decoded and dropped. Returns the comm events they raise:
  // kEvRxChar, kEvRxFlag, and kEvErr / kEvBreak for marked bytes.
  uint32_t push(const uint8_t* raw, size_t n, bool accept = true);

  size_t size() const { return bytes_.size() - head_; }
  bool empty() const { return size() == 0; }
  size_t take(uint8_t* out, size_t n);
  void clear();

 private:
  enum class Mark { None, Escape, Error };
  uint32_t deliver(uint8_t b, bool error, bool accept);

  ReceiveOptions opt_;
  Mark mark_ = Mark::None;
  std::vector<uint8_t> bytes_;
  size_t head_ = 0;
};

}  // namespace zr::serial
