// Timing of single round trips for the exchange benchmarks: every exchange is timed on its
// own, and the median and the 99th percentile go out as counters. Comparisons run the
// component and plain POSIX calls interleaved, exchange by exchange, in one loop, so that
// both see the same load on a shared machine; the ratios of the two come out as counters.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

class Samples {
 public:
  explicit Samples(const benchmark::State& state) { us_.reserve(static_cast<size_t>(state.max_iterations)); }

  // Runs one exchange and records its time; false when the exchange failed.
  template <class F>
  bool time(F&& exchange) {
    auto start = Clock::now();
    bool ok = exchange();
    us_.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    return ok;
  }

  double median() { return at(50); }
  double p99() { return at(99); }

 private:
  double at(size_t percent) {
    if (us_.empty()) return 0;
    std::sort(us_.begin(), us_.end());
    return us_[std::min(us_.size() - 1, us_.size() * percent / 100)];
  }
  std::vector<double> us_;
};

// "<prefix>median_us" and "<prefix>p99_us".
inline void report(benchmark::State& state, Samples& s, const std::string& prefix = "") {
  state.counters[prefix + "median_us"] = s.median();
  state.counters[prefix + "p99_us"] = s.p99();
}

// One side against the other, interleaved: the order alternates with every iteration.
// Counters: ours_*, posix_*, and ratio_median / ratio_p99 (ours over posix).
template <class Ours, class Posix>
void interleave(benchmark::State& state, Ours&& ours, Posix&& posix) {
  Samples a(state), b(state);
  bool oursFirst = true;
  for (auto _ : state) {
    bool ok = oursFirst ? a.time(ours) && b.time(posix) : b.time(posix) && a.time(ours);
    if (!ok) {
      state.SkipWithError("no reply");
      break;
    }
    oursFirst = !oursFirst;
  }
  report(state, a, "ours_");
  report(state, b, "posix_");
  double bm = b.median(), bp = b.p99();
  state.counters["ratio_median"] = bm > 0 ? a.median() / bm : 0;
  state.counters["ratio_p99"] = bp > 0 ? a.p99() / bp : 0;
}

// One side alone (for counting system calls per exchange with strace -c -f).
template <class Side>
void alone(benchmark::State& state, Side&& side) {
  Samples s(state);
  for (auto _ : state) {
    if (!s.time(side)) {
      state.SkipWithError("no reply");
      break;
    }
  }
  report(state, s);
}

}  // namespace bench
