#include "sts/zr_sts.h"

#include <ctime>
#include <utility>

#include "module/class_table.h"
#include "sts/sts_amount.h"
#include "sts/sts_digits.h"
#include "sts/sts_keys.h"
#include "sts/sts_token.h"
#include "text/ansi.h"

namespace kavlink {

namespace {

using zr::com::HResultError;

std::string narrow(BSTR s) { return zr::text::wideToAnsi(zr::com::bstrView(s)); }

BSTR allocText(const std::string& text) {
  BSTR b = zr::com::narrowBstr(text);
  if (!b) throw HResultError(E_OUTOFMEMORY);
  return b;
}

// Owns a result string until it is handed to the caller.
class PendingBstr {
 public:
  explicit PendingBstr(const std::string& text) : b_(allocText(text)) {}
  ~PendingBstr() { SysFreeString(b_); }
  PendingBstr(const PendingBstr&) = delete;
  PendingBstr& operator=(const PendingBstr&) = delete;
  BSTR release() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_;
};

sts::Block meterKeyBlock(BSTR key) {
  sts::Block k;
  sts::HexToBlock(sts::keyText16(narrow(key)), k);
  return k;
}

// RND and subclass arguments: the low byte, with anything above 15 taken as 0.
unsigned nibbleArg(LONG v) {
  unsigned b = static_cast<uint32_t>(v) & 0xFF;
  return b > 15 ? 0 : b;
}

// Minutes from 1993-01-01 00:00 local time to now, less one: the first stepped read gives the
// minutes up to creation.
uint32_t initialTid() {
  std::tm t0{};
  t0.tm_year = 93;
  t0.tm_mday = 1;
  t0.tm_isdst = -1;
  std::time_t base = std::mktime(&t0);
  if (base == static_cast<std::time_t>(-1)) throw HResultError(E_INVALIDARG);
  int64_t minutes = (static_cast<int64_t>(std::time(nullptr)) - static_cast<int64_t>(base)) / 60 - 1;
  return static_cast<uint32_t>(minutes);
}

}  // namespace

CZrSTS::CZrSTS() : tid_(initialTid()) {}

template <class F>
HRESULT CZrSTS::run(F&& body) {
  return guard([&]() -> HRESULT {
    try {
      return body();
    } catch (const sts::StsArgumentError&) {
      return E_INVALIDARG;
    }
  });
}

HRESULT CZrSTS::get_AutoRND(VARIANT_BOOL* value) {
  return zr::com::outValue(value, static_cast<VARIANT_BOOL>(autoRnd_));
}

HRESULT CZrSTS::put_AutoRND(VARIANT_BOOL value) {
  autoRnd_ = value;
  return S_OK;
}

HRESULT CZrSTS::get_AutoTID(VARIANT_BOOL* value) {
  return zr::com::outValue(value, static_cast<VARIANT_BOOL>(autoTid_));
}

HRESULT CZrSTS::put_AutoTID(VARIANT_BOOL value) {
  autoTid_ = value;
  return S_OK;
}

HRESULT CZrSTS::get_RND(LONG* value) {
  if (!value) return E_POINTER;
  if (autoRnd_ != 0) rnd_ = static_cast<uint8_t>((rnd_ + 1) % 16);
  *value = rnd_;
  return S_OK;
}

HRESULT CZrSTS::get_TID(ULONG* value) {
  if (!value) return E_POINTER;
  if (autoTid_ != 0) ++tid_;
  *value = tid_;
  return S_OK;
}

HRESULT CZrSTS::get_LastRawData(BSTR* value) {
  if (!value) return E_POINTER;
  return run([&] {
    *value = allocText(lastRawData_);
    return S_OK;
  });
}

HRESULT CZrSTS::get_LastEncrypData(BSTR* value) {
  if (!value) return E_POINTER;
  return run([&] {
    *value = allocText(lastEncrypData_);
    return S_OK;
  });
}

HRESULT CZrSTS::MakeMeterKey(BSTR SGC, BSTR VK1, BSTR VK2, BSTR MeterNo, LONG DKGA, LONG KT, LONG TI, LONG KRN,
                             BSTR* MeterKey) {
  if (!MeterKey) return E_POINTER;
  return run([&] {
    std::string sgc = narrow(SGC), vk1 = narrow(VK1), vk2 = narrow(VK2), meterNo = narrow(MeterNo);
    sts::DerivedKey d = sts::MakeMeterKey({sgc, vk1, vk2, meterNo, DKGA, KT, TI, KRN});
    std::string key = sts::blockHex16(d.key);
    PendingBstr out(key);
    lastRawData_ = sts::blockHex16(d.x);
    lastEncrypData_ = key;
    *MeterKey = out.release();
    return S_OK;
  });
}

HRESULT CZrSTS::buildCommonToken(BSTR meterKey, unsigned tokenClass, unsigned subclass, LONG rnd, ULONG tid,
                                 uint16_t valueCode, BSTR* token) {
  sts::Block key = meterKeyBlock(meterKey);
  unsigned r = nibbleArg(rnd);
  sts::Block plain = sts::BuildTokenBlock(tokenClass, subclass, r, tid, valueCode);
  sts::TokenText t = sts::encryptToken(plain, tokenClass, key);
  PendingBstr out(t.digits);
  tokenClass_ = static_cast<uint8_t>(tokenClass);
  subclass_ = static_cast<uint8_t>(subclass);
  rnd_ = static_cast<uint8_t>(r);
  tid_ = tid;
  lastRawData_ = sts::blockHex17(tokenClass, plain);
  lastEncrypData_ = std::move(t.encrypted);
  *token = out.release();
  return S_OK;
}

HRESULT CZrSTS::GetCreditToken(BSTR MeterKey, LONG SubClass, LONG RND, ULONG TID, float Amount, BSTR* Token) {
  if (!Token) return E_POINTER;
  return run([&] {
    uint16_t code = sts::EncodeTransferAmount(static_cast<uint32_t>(sts::creditAmountValue(Amount)));
    return buildCommonToken(MeterKey, sts::kCreditClass, nibbleArg(SubClass), RND, TID, code, Token);
  });
}

HRESULT CZrSTS::GetMaxPowerLimitToken(BSTR MeterKey, LONG RND, ULONG TID, LONG MPL, BSTR* Token) {
  if (!Token) return E_POINTER;
  return run([&] {
    return buildCommonToken(MeterKey, sts::kManagementClass, sts::kMaxPowerLimitSubclass, RND, TID,
                            sts::encodeSignedAmount(MPL), Token);
  });
}

HRESULT CZrSTS::GetClearCreditToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Register, BSTR* Token) {
  if (!Token) return E_POINTER;
  LONG reg = Register >= 0 && Register <= 4 ? Register : 0;
  return run([&] {
    return buildCommonToken(MeterKey, sts::kManagementClass, sts::kClearCreditSubclass, RND, TID,
                            sts::encodeSignedAmount(reg), Token);
  });
}

HRESULT CZrSTS::GetSetTariffRateToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Rate, BSTR* Token) {
  if (!Token) return E_POINTER;
  LONG rate = Rate >= 1 && Rate <= 99 ? Rate : 1;
  return run([&] {
    return buildCommonToken(MeterKey, sts::kManagementClass, sts::kSetTariffRateSubclass, RND, TID,
                            sts::encodeSignedAmount(rate), Token);
  });
}

HRESULT CZrSTS::GetClearTamperToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Pad, BSTR* Token) {
  if (!Token) return E_POINTER;
  LONG pad = Pad >= 0 && Pad <= 65535 ? Pad : 0;
  return run([&] {
    return buildCommonToken(MeterKey, sts::kManagementClass, sts::kClearTamperSubclass, RND, TID,
                            sts::encodeSignedAmount(pad), Token);
  });
}

HRESULT CZrSTS::GetMPPULToken(BSTR MeterKey, LONG RND, ULONG TID, LONG MPPUL, BSTR* Token) {
  if (!Token) return E_POINTER;
  return run([&] {
    return buildCommonToken(MeterKey, sts::kManagementClass, sts::kMaxPhasePowerUnbalanceSubclass, RND, TID,
                            sts::encodeSignedAmount(MPPUL), Token);
  });
}

HRESULT CZrSTS::GetChangeToken(BSTR SGC, BSTR VK1, BSTR VK2, BSTR MeterNo, BSTR MeterKey, LONG DKGA, LONG KT, LONG TI,
                               LONG KRN, VARIANT_BOOL RO, VARIANT_BOOL RES, BSTR* NewMeterKey, BSTR* Token) {
  if (!NewMeterKey || !Token) return E_POINTER;
  return run([&] {
    sts::Block current = meterKeyBlock(MeterKey);
    std::string newKeyText = sts::toUpper(narrow(*NewMeterKey));
    std::string rawData = lastRawData_;
    if (newKeyText.empty()) {
      std::string sgc = narrow(SGC), vk1 = narrow(VK1), vk2 = narrow(VK2), meterNo = narrow(MeterNo);
      sts::DerivedKey d = sts::MakeMeterKey({sgc, vk1, vk2, meterNo, DKGA, KT, TI, KRN});
      rawData = sts::blockHex16(d.x);
      newKeyText = sts::blockHex16(d.key);
    } else {
      newKeyText = sts::keyText16(newKeyText);
    }
    sts::Block newKey;
    sts::HexToBlock(newKeyText, newKey);

    sts::KeyChangeBlocks blocks = sts::keyChangeBlocks(newKey, sts::clampKeyType(KT), sts::clampTariffIndex(TI),
                                                       sts::clampKeyRevision(KRN), RO != 0, RES != 0);
    sts::TokenText first = sts::encryptToken(blocks.first, sts::kManagementClass, current);
    sts::TokenText second = sts::encryptToken(blocks.second, sts::kManagementClass, current);
    PendingBstr token(first.digits + second.digits);
    PendingBstr key(newKeyText);
    tokenClass_ = sts::kManagementClass;
    subclass_ = sts::kKeyChangeSecondSubclass;
    lastRawData_ = std::move(rawData);
    lastEncrypData_ = std::move(second.encrypted);
    SysFreeString(*NewMeterKey);
    *NewMeterKey = key.release();
    *Token = token.release();
    return S_OK;
  });
}

HRESULT CZrSTS::GetReservedToken(BSTR MeterKey, BSTR Control, LONG SubClass, BSTR* Token) {
  if (!Token) return E_POINTER;
  return run([&] {
    sts::Block key = meterKeyBlock(MeterKey);
    sts::Block plain;
    sts::HexToBlock(sts::controlText16(narrow(Control)), plain);
    unsigned subclass = nibbleArg(SubClass);
    plain[0] = static_cast<uint8_t>(subclass << 4 | (plain[0] & 0xF));
    sts::TokenText t = sts::encryptToken(plain, sts::kReservedClass, key);
    PendingBstr out(t.digits);
    tokenClass_ = sts::kReservedClass;
    subclass_ = static_cast<uint8_t>(subclass);
    lastRawData_ = sts::blockHex17(sts::kReservedClass, plain);
    lastEncrypData_ = std::move(t.encrypted);
    *Token = out.release();
    return S_OK;
  });
}

HRESULT CZrSTS::GetFormatToken(BSTR Token, BSTR* FmtToken) {
  if (!FmtToken) return E_POINTER;
  return run([&] {
    *FmtToken = allocText(sts::formatTokenText(narrow(Token)));
    return S_OK;
  });
}

HRESULT CZrSTS::GetMid11(BSTR Mid10, BSTR* Mid11) {
  if (!Mid11) return E_POINTER;
  return run([&] {
    *Mid11 = allocText(sts::meterNumberWithCheck(narrow(Mid10)));
    return S_OK;
  });
}

HRESULT CZrSTS::GetPAN(BSTR Mid11, BSTR* PAN) {
  if (!PAN) return E_POINTER;
  return run([&] {
    *PAN = allocText(sts::panWithCheck(narrow(Mid11)));
    return S_OK;
  });
}

HRESULT CZrSTS::Decrypt(BSTR MeterKey, BSTR Token, BSTR* Data) {
  if (!Data) return E_POINTER;
  return run([&] {
    std::optional<std::string> plain = sts::decryptToken(narrow(Token), meterKeyBlock(MeterKey));
    *Data = plain ? allocText(*plain) : nullptr;
    return S_OK;
  });
}

}  // namespace kavlink

namespace {

// NewMeterKey of GetChangeToken is in-out, which the generic table cannot carry: a caller
// passes it by reference (its text goes in, the key in use comes back; a scripting host's
// reference to a VARIANT too) or by value (in only).
HRESULT invokeGetChangeToken(void* itf, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
  using zr::com::disp::ArgSlot;
  constexpr UINT kArgs = 12;
  if (params->cArgs != kArgs) return DISP_E_BADPARAMCOUNT;
  auto arg = [&](UINT k) -> VARIANT& { return params->rgvarg[kArgs - 1 - k]; };

  ArgSlot<BSTR> text[5];
  ArgSlot<LONG> number[4];
  ArgSlot<VARIANT_BOOL> flag[2];
  ArgSlot<BSTR> newKeyByValue;
  zr::com::disp::OutSlot<BSTR> newKeyByRef;
  HRESULT h = S_OK;
  UINT k = 0;
  for (; k < 5 && SUCCEEDED(h); ++k) h = text[k].load(arg(k));
  for (; k < 9 && SUCCEEDED(h); ++k) h = number[k - 5].load(arg(k));
  for (; k < 11 && SUCCEEDED(h); ++k) h = flag[k - 9].load(arg(k));
  BSTR* newKey = nullptr;
  if (SUCCEEDED(h)) {
    VARIANT& v = arg(11);
    if (v.vt == (VT_BYREF | VT_BSTR) || v.vt == (VT_BYREF | VT_VARIANT)) {
      h = newKeyByRef.load(v);
      newKey = newKeyByRef.value;
    } else {
      h = newKeyByValue.load(v);
      if (SUCCEEDED(h)) newKey = &newKeyByValue.holder.bstrVal;
    }
    k = 12;
  }
  if (FAILED(h)) {
    if (argErr) *argErr = kArgs - k;
    return h == DISP_E_OVERFLOW ? DISP_E_TYPEMISMATCH : h;
  }

  BSTR token = nullptr;
  auto* sts = static_cast<IZrSTS*>(itf);
  h = sts->GetChangeToken(text[0].value, text[1].value, text[2].value, text[3].value, text[4].value, number[0].value,
                          number[1].value, number[2].value, number[3].value, flag[0].value, flag[1].value, newKey,
                          &token);
  if (FAILED(h)) return h;
  newKeyByRef.store();
  if (result) {
    VariantClear(result);
    result->vt = VT_BSTR;
    result->bstrVal = token;
  } else {
    SysFreeString(token);
  }
  return h;
}

}  // namespace

template <>
const zr::com::DispTable& zr::com::dispatchTable<IZrSTS>() {
  using C = IZrSTS;
  static const DispTable t{{
      propGet<&C::get_AutoRND>(u"AutoRND", 1),
      propPut<&C::put_AutoRND>(u"AutoRND", 1),
      propGet<&C::get_AutoTID>(u"AutoTID", 2),
      propPut<&C::put_AutoTID>(u"AutoTID", 2),
      propGet<&C::get_RND>(u"RND", 3),
      propGet<&C::get_TID>(u"TID", 4),
      propGet<&C::get_LastRawData>(u"LastRawData", 5),
      propGet<&C::get_LastEncrypData>(u"LastEncrypData", 6),
      method<&C::MakeMeterKey>(u"MakeMeterKey", 8),
      method<&C::GetCreditToken>(u"GetCreditToken", 9),
      method<&C::GetMaxPowerLimitToken>(u"GetMaxPowerLimitToken", 10),
      method<&C::GetClearCreditToken>(u"GetClearCreditToken", 11),
      method<&C::GetSetTariffRateToken>(u"GetSetTariffRateToken", 12),
      method<&C::GetClearTamperToken>(u"GetClearTamperToken", 13),
      {u"GetChangeToken", 14, DISPATCH_METHOD, &invokeGetChangeToken},
      method<&C::GetReservedToken>(u"GetReservedToken", 15),
      method<&C::GetMPPULToken>(u"GetMPPULToken", 16),
      method<&C::GetFormatToken>(u"GetFormatToken", 17),
      method<&C::GetMid11>(u"GetMid11", 18),
      method<&C::GetPAN>(u"GetPAN", 19),
      method<&C::Decrypt>(u"Decrypt", 20),
  }};
  return t;
}

KAVLINK_CLASS(kavlink::CZrSTS, "ZrSTS Class");
