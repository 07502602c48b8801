#include "serial/receive_queue.h"

#include <gtest/gtest.h>

#include <vector>

#include "serial/line_settings.h"

namespace zr::serial {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ReceiveQueue, DecodesWhatTheLineDelivers) {
  ReceiveOptions plain{false, false, false, 0, 0x7E};
  ReceiveOptions discard{false, true, false, 0, 0x7E};
  ReceiveOptions marked{true, false, false, 0, 0x7E};
  ReceiveOptions replacing{true, false, true, '?', 0x7E};
  ReceiveOptions zeroEvent{};  // the event character 0 is a character like any other
  struct Case {
    ReceiveOptions options;
    std::vector<Bytes> reads;  // as separate reads from the line
    Bytes queued;
    uint32_t events;
    bool accept = true;  // false: DSR sensitivity with DSR off
  };
  const Case cases[] = {
      {plain, {{1, 0x7E}}, {1, 0x7E}, kEvRxChar | kEvRxFlag},
      {plain, {{0xFF, 0, 'A'}}, {0xFF, 0, 'A'}, kEvRxChar},
      {discard, {{0, 5, 0}}, {5}, kEvRxChar},
      {discard, {{0, 0}}, {}, 0},
      {zeroEvent, {{0}}, {0}, kEvRxChar | kEvRxFlag},
      {marked, {{1, 0xFF}, {0xFF}}, {1, 0xFF}, kEvRxChar},
      {marked, {{0xFF, 0, 'A'}}, {'A'}, kEvRxChar | kEvErr},
      {replacing, {{'x', 0xFF}, {0}, {'A', 'y'}}, {'x', '?', 'y'}, kEvRxChar | kEvErr},
      {marked, {{0xFF, 0, 0}}, {0}, kEvRxChar | kEvBreak},
      {plain, {{1, 0x7E}, {2}}, {}, 0, false},
      {marked, {{0xFF, 0, 'A'}}, {}, kEvErr, false},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    ReceiveQueue q;
    q.setOptions(cases[i].options);
    uint32_t events = 0;
    for (const Bytes& b : cases[i].reads) events |= q.push(b.data(), b.size(), cases[i].accept);
    Bytes got(q.size());
    q.take(got.data(), got.size());
    EXPECT_EQ(got, cases[i].queued) << i;
    EXPECT_EQ(events, cases[i].events) << i;
  }
}

}  // namespace
}  // namespace zr::serial
