// ZrSTS: the STS prepayment token generator. A host gives a meter's decoder key and the
// fields of a token and receives the token as 20 decimal digits; it also derives decoder keys,
// decrypts tokens and makes meter numbers and PANs with their check digits.
#pragma once

#include "com/com.h"

constexpr CLSID CLSID_ZrSTS = zr::com::guid("5B70C1B7-4477-4D11-B14C-F05DCA4A32A8");

struct IZrSTS : IDispatch {
  ZR_IID("83D49779-2422-4212-B00C-03588AA3E8C4");
  using Base = IDispatch;
  virtual HRESULT get_AutoRND(VARIANT_BOOL* value) = 0;  // 1
  virtual HRESULT put_AutoRND(VARIANT_BOOL value) = 0;   // 1
  virtual HRESULT get_AutoTID(VARIANT_BOOL* value) = 0;  // 2
  virtual HRESULT put_AutoTID(VARIANT_BOOL value) = 0;   // 2
  virtual HRESULT get_RND(LONG* value) = 0;              // 3
  virtual HRESULT get_TID(ULONG* value) = 0;             // 4
  virtual HRESULT get_LastRawData(BSTR* value) = 0;      // 5
  virtual HRESULT get_LastEncrypData(BSTR* value) = 0;   // 6
  virtual HRESULT MakeMeterKey(BSTR SGC, BSTR VK1, BSTR VK2, BSTR MeterNo, LONG DKGA, LONG KT, LONG TI, LONG KRN,
                               BSTR* MeterKey) = 0;  // 8
  virtual HRESULT GetCreditToken(BSTR MeterKey, LONG SubClass, LONG RND, ULONG TID, float Amount,
                                 BSTR* Token) = 0;                                                          // 9
  virtual HRESULT GetMaxPowerLimitToken(BSTR MeterKey, LONG RND, ULONG TID, LONG MPL, BSTR* Token) = 0;     // 10
  virtual HRESULT GetClearCreditToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Register, BSTR* Token) = 0;  // 11
  virtual HRESULT GetSetTariffRateToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Rate, BSTR* Token) = 0;    // 12
  virtual HRESULT GetClearTamperToken(BSTR MeterKey, LONG RND, ULONG TID, LONG Pad, BSTR* Token) = 0;       // 13
  // NewMeterKey is in-out: an empty text asks for a derived key, which comes back in it.
  virtual HRESULT GetChangeToken(BSTR SGC, BSTR VK1, BSTR VK2, BSTR MeterNo, BSTR MeterKey, LONG DKGA, LONG KT, LONG TI,
                                 LONG KRN, VARIANT_BOOL RO, VARIANT_BOOL RES, BSTR* NewMeterKey,
                                 BSTR* Token) = 0;                                                 // 14
  virtual HRESULT GetReservedToken(BSTR MeterKey, BSTR Control, LONG SubClass, BSTR* Token) = 0;   // 15
  virtual HRESULT GetMPPULToken(BSTR MeterKey, LONG RND, ULONG TID, LONG MPPUL, BSTR* Token) = 0;  // 16
  virtual HRESULT GetFormatToken(BSTR Token, BSTR* FmtToken) = 0;                                  // 17
  virtual HRESULT GetMid11(BSTR Mid10, BSTR* Mid11) = 0;                                           // 18
  virtual HRESULT GetPAN(BSTR Mid11, BSTR* PAN) = 0;                                               // 19
  virtual HRESULT Decrypt(BSTR MeterKey, BSTR Token, BSTR* Data) = 0;                              // 20
};
