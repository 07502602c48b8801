// STS tokens on one core: credit tokens generated and tokens decrypted per second, through
// the object (text in and out, as a host calls it) and through the engine alone.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "com/com_ptr.h"
#include "sts/sts_amount.h"
#include "sts/sts_token.h"
#include "sts/zr_sts.h"

using namespace kavlink;

namespace {

BSTR wide(const char16_t* s) { return SysAllocString(s); }

void BM_ObjectCreditToken(benchmark::State& state) {
  auto sts = zr::com::ComPtr<IZrSTS>::attach(CZrSTS::create());
  BSTR key = wide(u"E653341F9D5BF36F");
  ULONG tid = 5871715;
  for (auto _ : state) {
    BSTR token = nullptr;
    sts->GetCreditToken(key, 0, static_cast<LONG>(tid & 15), tid, 25.5f, &token);
    benchmark::DoNotOptimize(token);
    SysFreeString(token);
    ++tid;
  }
  SysFreeString(key);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ObjectCreditToken);

void BM_ObjectDecrypt(benchmark::State& state) {
  auto sts = zr::com::ComPtr<IZrSTS>::attach(CZrSTS::create());
  BSTR key = wide(u"E653341F9D5BF36F");
  std::vector<BSTR> tokens;
  for (ULONG tid = 0; tid < 64; ++tid) {
    BSTR t = nullptr;
    sts->GetCreditToken(key, 0, static_cast<LONG>(tid & 15), 5871715 + tid, 100.0f, &t);
    tokens.push_back(t);
  }
  size_t i = 0;
  for (auto _ : state) {
    BSTR data = nullptr;
    sts->Decrypt(key, tokens[i++ & 63], &data);
    benchmark::DoNotOptimize(data);
    SysFreeString(data);
  }
  for (BSTR t : tokens) SysFreeString(t);
  SysFreeString(key);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ObjectDecrypt);

void BM_EngineCreditToken(benchmark::State& state) {
  sts::Block key;
  sts::HexToBlock("E653341F9D5BF36F", key);
  uint32_t tid = 5871715;
  for (auto _ : state) {
    sts::Block plain = sts::BuildTokenBlock(0, 0, tid & 15, tid, sts::EncodeTransferAmount(255));
    sts::TokenText t = sts::encryptToken(plain, 0, key);
    benchmark::DoNotOptimize(t);
    ++tid;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineCreditToken);

void BM_EngineDecrypt(benchmark::State& state) {
  sts::Block key;
  sts::HexToBlock("E653341F9D5BF36F", key);
  std::vector<std::string> tokens;
  for (uint32_t tid = 0; tid < 64; ++tid)
    tokens.push_back(sts::encryptToken(sts::BuildTokenBlock(0, 0, tid & 15, tid, 1000), 0, key).digits);
  size_t i = 0;
  for (auto _ : state) {
    auto data = sts::decryptToken(tokens[i++ & 63], key);
    benchmark::DoNotOptimize(data);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineDecrypt);

}  // namespace
BENCHMARK_MAIN();
