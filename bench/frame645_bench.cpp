// Frame645: finding one frame in 2 KB of noise, and serialising a frame.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "dlt645/frame645_codec.h"

using namespace kavlink;

static std::vector<uint8_t> noisyBuffer() {
  std::mt19937 rng(645);
  std::vector<uint8_t> buf(2048);
  for (auto& b : buf) {
    b = static_cast<uint8_t>(rng());
    if (b == 0x68) b = 0x69;  // keep the noise free of false frame starts
  }
  const uint8_t frame[] = {0x68, 0x45, 0x23, 0x01, 0x00, 0x00, 0x00, 0x68, 0x81,
                           0x06, 0x43, 0xC3, 0x45, 0x89, 0x67, 0x45, 0xCE, 0x16};
  std::copy(std::begin(frame), std::end(frame), buf.end() - sizeof frame);
  uint8_t cs = 0;
  for (size_t i = 0; i < sizeof frame - 2; ++i) cs = static_cast<uint8_t>(cs + frame[i]);
  buf[buf.size() - 2] = cs;
  return buf;
}

static void BM_FromBuffer2K(benchmark::State& state) {
  auto buf = noisyBuffer();
  Frame645Data f;
  for (auto _ : state) {
    int32_t at = parseFrame(f, buf.data(), static_cast<int32_t>(buf.size()));
    benchmark::DoNotOptimize(at);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FromBuffer2K);

static void BM_ToBuffer(benchmark::State& state) {
  Frame645Data f;
  setFrameAddress(f, "12345");
  f.control = 0x01;
  f.length = 2;
  f.data[0] = 0x10;
  f.data[1] = 0x90;
  f.prefixCount = 4;
  uint8_t out[kFrame645MaxWire];
  for (auto _ : state) {
    benchmark::DoNotOptimize(serializeFrame(f, out));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ToBuffer);

BENCHMARK_MAIN();
