#include "core/lora.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "core/setup_error.h"

namespace zr::setup {
namespace {

std::vector<uint8_t> bytesOf(std::string_view text) { return {text.begin(), text.end()}; }

TEST(LoraCrc8, MatchesTheCheckValue) {
  EXPECT_EQ(LoraCrc8(bytesOf("123456789")), 0x0B);
  EXPECT_EQ(LoraCrc8({}), 0xFF);
}

TEST(LoraWrap, WrapsAReadRequestWithLengthSequenceAndCrc) {
  // A read request of 14 bytes: 68 A0..A5 68 01 02 DI0+33 DI1+33 CS 16.
  const std::vector<uint8_t> frame = {0x68, 0x01, 0, 0, 0, 0, 0, 0x68, 0x01, 0x02, 0x43, 0xC3, 0x00, 0x16};
  const std::vector<uint8_t> message = LoraWrap(frame, 5);
  ASSERT_EQ(message.size(), 23u);
  EXPECT_EQ(std::vector<uint8_t>(message.begin(), message.begin() + 8),
            (std::vector<uint8_t>{0x90, 0xEB, 0x14, 5, 0xFF, 0xFF, 0x2C, 0x01}));
  EXPECT_EQ(std::vector<uint8_t>(message.begin() + 8, message.end() - 1), frame);
  const auto covered = loraCrcCovered(message);
  EXPECT_EQ(covered.size(), 20u);
  EXPECT_EQ(message.back(), LoraCrc8(covered));
  EXPECT_EQ(loraCrcLogLine(covered.first(3)), "crcs:14 05 FF ");

  const auto unwrapped = LoraUnwrap(message);
  ASSERT_TRUE(unwrapped);
  EXPECT_EQ(unwrapped->sequence, 5);
  EXPECT_EQ(unwrapped->frame, frame);
  EXPECT_EQ(unwrapped->size, 23u);
}

TEST(LoraUnwrap, RefusesDamagedMessages) {
  const std::vector<uint8_t> good = LoraWrap(std::vector<uint8_t>(14, 0x33), 1);
  const struct {
    const char* what;
    size_t index;  // byte to change; SIZE_MAX: cut the last byte instead
  } cases[] = {{"marker", 0},      {"second marker", 1}, {"length", 2},
               {"frame byte", 10}, {"crc", 22},          {"short", SIZE_MAX}};
  for (const auto& c : cases) {
    std::vector<uint8_t> bad = good;
    if (c.index == SIZE_MAX) {
      bad.pop_back();
    } else {
      bad[c.index] ^= 0x01;
    }
    EXPECT_FALSE(LoraUnwrap(bad)) << c.what;
  }
}

TEST(LoraWrap, RefusesAFrameThatDoesNotFitTheModule) {
  EXPECT_EQ(LoraWrap(std::vector<uint8_t>(248, 0x68), 1).size(), 257u);
  EXPECT_THROW(LoraWrap(std::vector<uint8_t>(249, 0x68), 1), SetupError);
}

TEST(LoraSequence, RunsFromOneToOneHundredTwentySevenAndStartsAgainAtOne) {
  LoraSequence sequence;
  std::vector<int> seen;
  for (int i = 0; i < 255; ++i) {
    seen.push_back(sequence.current());
    sequence.advance();
  }
  EXPECT_EQ(seen[0], 1);      // first frame
  EXPECT_EQ(seen[126], 127);  // 127th
  EXPECT_EQ(seen[127], 1);    // 128th
  EXPECT_EQ(seen[254], 1);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), 0), 0);
}

}  // namespace
}  // namespace zr::setup
