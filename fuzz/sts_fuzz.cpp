// STS token texts through ZrSTS: decryption, formatting and the number members take any
// text; every sealed token the object makes decrypts again under the key it was made with.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "fuzz_objects.h"
#include "kavlink/zr_sts.h"
#include "text/ansi.h"

using namespace kavlink;
using zr::com::Bstr;

namespace {

Bstr text(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) return Bstr(fuzzsupport::consumeWide(in, 40));
  return Bstr(zr::text::ansiToWide(in.ConsumeRandomLengthString(40)));
}

void decryptsAgain(IZrSTS* sts, BSTR key, HRESULT made, BSTR token) {
  Bstr owned = Bstr::attach(token);
  if (made != S_OK) return;
  FUZZ_CHECK(token != nullptr);
  BSTR data = nullptr;
  FUZZ_CHECK(sts->Decrypt(key, token, &data) == S_OK);
  Bstr dataOwned = Bstr::attach(data);
  FUZZ_CHECK(data != nullptr);
  BSTR formatted = nullptr;
  FUZZ_CHECK(sts->GetFormatToken(token, &formatted) == S_OK);
  SysFreeString(formatted);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 2048) return 0;
  static auto sts = fuzzsupport::createObject<IZrSTS>(CLSID_ZrSTS);
  FUZZ_CHECK(sts);
  FuzzedDataProvider in(data, size);
  sts->put_AutoRND(in.ConsumeBool() ? VARIANT_TRUE : VARIANT_FALSE);
  sts->put_AutoTID(in.ConsumeBool() ? VARIANT_TRUE : VARIANT_FALSE);
  const int op = in.ConsumeIntegralInRange(0, 6);
  Bstr key = text(in);
  BSTR out = nullptr;
  switch (op) {
    case 0: {
      Bstr token = text(in);
      (void)sts->Decrypt(key.get(), token.get(), &out);
      break;
    }
    case 1:
      (void)sts->GetFormatToken(key.get(), &out);
      break;
    case 2: {
      BSTR mid11 = nullptr;
      if (sts->GetMid11(key.get(), &mid11) == S_OK) (void)sts->GetPAN(mid11, &out);
      SysFreeString(mid11);
      Bstr other = text(in);
      BSTR pan = nullptr;
      (void)sts->GetPAN(other.get(), &pan);
      SysFreeString(pan);
      break;
    }
    case 3: {
      Bstr vk1 = text(in), vk2 = text(in), meterNo = text(in);
      const auto dkga = in.ConsumeIntegralInRange<LONG>(-1, 5), kt = in.ConsumeIntegral<LONG>(),
                 ti = in.ConsumeIntegral<LONG>(), krn = in.ConsumeIntegral<LONG>();
      (void)sts->MakeMeterKey(key.get(), vk1.get(), vk2.get(), meterNo.get(), dkga, kt, ti, krn, &out);
      break;
    }
    case 4: {
      const auto subclass = in.ConsumeIntegral<LONG>(), rnd = in.ConsumeIntegral<LONG>();
      const auto tid = in.ConsumeIntegral<ULONG>();
      float amount = 0;
      const auto bits = in.ConsumeIntegral<uint32_t>();
      std::memcpy(&amount, &bits, sizeof amount);
      BSTR token = nullptr;
      decryptsAgain(sts.get(), key.get(), sts->GetCreditToken(key.get(), subclass, rnd, tid, amount, &token), token);
      break;
    }
    case 5: {
      const int kind = in.ConsumeIntegralInRange(0, 4);
      const auto rnd = in.ConsumeIntegral<LONG>(), value = in.ConsumeIntegral<LONG>();
      const auto tid = in.ConsumeIntegral<ULONG>();
      BSTR token = nullptr;
      HRESULT h = kind == 0   ? sts->GetMaxPowerLimitToken(key.get(), rnd, tid, value, &token)
                  : kind == 1 ? sts->GetClearCreditToken(key.get(), rnd, tid, value, &token)
                  : kind == 2 ? sts->GetSetTariffRateToken(key.get(), rnd, tid, value, &token)
                  : kind == 3 ? sts->GetClearTamperToken(key.get(), rnd, tid, value, &token)
                              : sts->GetMPPULToken(key.get(), rnd, tid, value, &token);
      decryptsAgain(sts.get(), key.get(), h, token);
      break;
    }
    case 6: {
      // The caller makes the whole block of a reserved token, with no check of its own, so
      // it need not decrypt as a sealed one.
      Bstr control = text(in);
      (void)sts->GetReservedToken(key.get(), control.get(), in.ConsumeIntegral<LONG>(), &out);
      break;
    }
  }
  SysFreeString(out);
  BSTR last = nullptr;
  sts->get_LastRawData(&last);
  SysFreeString(last);
  sts->get_LastEncrypData(&last);
  SysFreeString(last);
  return 0;
}
