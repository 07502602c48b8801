// When a watcher thread may take a device back from an owner that holds it while it waits
// for input. The owner brackets each wait (begin/end, on its own thread; they may nest);
// the watcher asks mayReclaim at least every kReclaimMs while the owner holds the device.
// Each watcher keeps its own way of letting go of the device and of taking it back.
#pragma once

#include <atomic>
#include <cstdint>

namespace zr::msg {

class OwnerWaits {
 public:
  static constexpr int kReclaimMs = 5;

  void begin() {
    waits_.fetch_add(1, std::memory_order_relaxed);
    waiting_.fetch_add(1, std::memory_order_relaxed);
  }
  void end() { waiting_.fetch_sub(1, std::memory_order_relaxed); }

  // Watcher thread only. True only after a whole period without a wait of the owner, so a
  // run of exchanges is never disturbed; each call starts the next period.
  bool mayReclaim() {
    const uint32_t waits = waits_.load(std::memory_order_relaxed);
    const bool quiet = waiting_.load(std::memory_order_relaxed) == 0 && waits == seen_;
    seen_ = waits;
    return quiet;
  }

 private:
  std::atomic<int> waiting_{0};     // waits under way
  std::atomic<uint32_t> waits_{0};  // waits begun; the watcher compares
  uint32_t seen_ = 0;               // watcher thread only
};

}  // namespace zr::msg
