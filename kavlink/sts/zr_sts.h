// CZrSTS: the token generator object. It keeps the token fields a host steps through (RND,
// TID and their Auto flags) and the text of the last token or key; the computing is done by
// the engine functions of this folder.
#pragma once

#include <cstdint>
#include <string>

#include "com/dispatch.h"
#include "com/object.h"
#include "kavlink/zr_sts.h"
#include "sts/sts_text.h"

namespace kavlink {

class CZrSTS : public zr::com::ComObject<CZrSTS, zr::com::DispatchImpl<CZrSTS, IZrSTS>> {
 public:
  static constexpr CLSID kClsid = CLSID_ZrSTS;
  static constexpr std::u16string_view kProgId = u"kavlink.ZrSTS.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.ZrSTS";
  static constexpr bool kAggregatable = true;

  CZrSTS();

  HRESULT get_AutoRND(VARIANT_BOOL* value) override;
  HRESULT put_AutoRND(VARIANT_BOOL value) override;
  HRESULT get_AutoTID(VARIANT_BOOL* value) override;
  HRESULT put_AutoTID(VARIANT_BOOL value) override;
  HRESULT get_RND(LONG* value) override;
  HRESULT get_TID(ULONG* value) override;
  HRESULT get_LastRawData(BSTR* value) override;
  HRESULT get_LastEncrypData(BSTR* value) override;
  HRESULT MakeMeterKey(BSTR SGC, BSTR VK1, BSTR VK2, BSTR MeterNo, LONG DKGA, LONG KT, LONG TI, LONG KRN,
                       BSTR* MeterKey) override;
  HRESULT GetCreditToken(BSTR MeterKey, LONG SubClass, LONG RND, ULONG TID, float Amount, BSTR* Token) override;
  HRESULT GetMaxPowerLimitToken(BSTR MeterKey, LONG RND, ULONG TID, LONG MPL, BSTR* Token) override;
  HRESULT GetClearCreditToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Register, BSTR* Token) override;
  HRESULT GetSetTariffRateToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Rate, BSTR* Token) override;
  HRESULT GetClearTamperToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Pad, BSTR* Token) override;
  HRESULT GetChangeToken(BSTR SGC, BSTR VK1, BSTR VK2, BSTR MeterNo, BSTR MeterKey, LONG DKGA, LONG KT, LONG TI,
                         LONG KRN, VARIANT_BOOL RO, VARIANT_BOOL RES, BSTR* NewMeterKey, BSTR* Token) override;
  HRESULT GetReservedToken(BSTR MeterKey, BSTR Control, LONG SubClass, BSTR* Token) override;
  HRESULT GetMPPULToken(BSTR MeterKey, LONG RND, ULONG TID, LONG MPPUL, BSTR* Token) override;
  HRESULT GetFormatToken(BSTR Token, BSTR* FmtToken) override;
  HRESULT GetMid11(BSTR Mid10, BSTR* Mid11) override;
  HRESULT GetPAN(BSTR Mid11, BSTR* PAN) override;
  HRESULT Decrypt(BSTR MeterKey, BSTR Token, BSTR* Data) override;

 private:
  // Codes `value`, builds the block of the object's class and the given fields, encrypts it and
  // on success takes the fields and the two texts into the object.
  HRESULT buildCommonToken(BSTR meterKey, unsigned tokenClass, unsigned subclass, LONG rnd, ULONG tid,
                           uint16_t valueCode, BSTR* token);
  // Runs a member body: engine refusals become E_INVALIDARG, allocation failures E_OUTOFMEMORY.
  template <class F>
  HRESULT run(F&& body);

  uint8_t tokenClass_ = 0;
  uint8_t subclass_ = 0;
  uint8_t rnd_ = 0;
  uint32_t tid_ = 0;
  int32_t autoRnd_ = 1;
  int32_t autoTid_ = 1;
  std::string lastRawData_;
  std::string lastEncrypData_;
};

}  // namespace kavlink
