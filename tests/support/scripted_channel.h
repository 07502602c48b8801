// A byte channel played by the test: after the n-th write the peer's answer chunks become
// readable, one chunk per read. Records writes, waits, rate switches and pauses. Serves the
// tests, the benchmarks and the fuzz targets of the engines that talk over a channel.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "engines/byte_channel.h"
#include "com/object.h"

namespace testhost {

using namespace std::string_literals;

class ScriptedChannel final : public kavlink::ByteChannel {
 public:
  // The chunks that answer write number n (counted from 0).
  void answer(size_t n, std::vector<std::string> chunks) { answers_[n] = std::move(chunks); }
  // Chunks readable before anything is written (or from now on, after what is pending).
  void preload(std::vector<std::string> chunks) { pending_.insert(pending_.end(), chunks.begin(), chunks.end()); }
  bool drained() const { return pending_.empty(); }

  using kavlink::ByteChannel::write;
  void write(const void* bytes, size_t length) override {
    writes.emplace_back(static_cast<const char*>(bytes), length);
    if (auto it = answers_.find(writes.size() - 1); it != answers_.end())
      pending_.insert(pending_.end(), it->second.begin(), it->second.end());
  }
  uint32_t waitForInput(uint32_t timeoutMs) override {
    waits.push_back(timeoutMs);
    return available();
  }
  uint32_t available() override { return pending_.empty() ? 0 : static_cast<uint32_t>(pending_.front().size()); }
  size_t read(void* buffer, size_t length) override {
    if (reads_++ >= readsBeforeFailure) throw zr::com::ComError("ReadFile function failed");
    if (pending_.empty()) return 0;
    std::string& c = pending_.front();
    const size_t n = std::min(length, c.size());
    c.copy(static_cast<char*>(buffer), n);
    c.erase(0, n);
    if (c.empty()) pending_.pop_front();
    return n;
  }
  void purge() override {
    pending_.clear();
    log.push_back("purge");
  }
  void setRate(int32_t rate) override {
    if (refuseRates) throw zr::com::ComError("SetCommState function failed");
    rates.push_back(rate);
  }
  void sleepMs(uint32_t ms) override {
    sleeps.push_back(ms);
    log.push_back("sleep " + std::to_string(ms));
  }

  std::vector<std::string> writes;
  std::vector<uint32_t> waits;
  std::vector<int32_t> rates;
  std::vector<uint32_t> sleeps;
  std::vector<std::string> log;
  bool refuseRates = false;
  // The line breaks off: reads after this many throw the port's failure.
  size_t readsBeforeFailure = SIZE_MAX;

 private:
  std::map<size_t, std::vector<std::string>> answers_;
  std::deque<std::string> pending_;
  size_t reads_ = 0;
};

}  // namespace testhost
