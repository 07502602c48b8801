#include "text/ticks.h"

#include <atomic>
#include <ctime>

namespace zr::text {
namespace {

uint32_t realTicks() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

std::atomic<TickFunction> g_tick{&realTicks};

}  // namespace

uint32_t tickCount() { return g_tick.load(std::memory_order_relaxed)(); }

void setTickFunction(TickFunction f) { g_tick.store(f ? f : &realTicks); }

void sleepMs(uint32_t ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace zr::text
