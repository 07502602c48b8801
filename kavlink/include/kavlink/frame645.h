// IFrame645: one DL/T 645 frame (address, control code, data, preamble, +0x33 switch).
#pragma once

#include "com/com.h"

namespace kavlink {

struct IFrame645 : IDispatch {
  ZR_IID("EA13BC26-91C5-49B8-8653-E55204AD35CF");
  using Base = IDispatch;
  virtual HRESULT get_Address(BSTR* value) = 0;                           // 1
  virtual HRESULT put_Address(BSTR value) = 0;                            // 1
  virtual HRESULT get_CtrlWord(BYTE* value) = 0;                          // 2
  virtual HRESULT put_CtrlWord(BYTE value) = 0;                           // 2
  virtual HRESULT get_DLen(LONG* value) = 0;                              // 3
  virtual HRESULT put_DLen(LONG value) = 0;                               // 3
  virtual HRESULT get_Data(LONG index, BYTE* value) = 0;                  // 4
  virtual HRESULT put_Data(LONG index, BYTE value) = 0;                   // 4
  virtual HRESULT get_FLen(LONG* value) = 0;                              // 5
  virtual HRESULT get_Handle33(VARIANT_BOOL* value) = 0;                  // 6
  virtual HRESULT put_Handle33(VARIANT_BOOL value) = 0;                   // 6
  virtual HRESULT get_PrefixChar(BYTE* value) = 0;                        // 7
  virtual HRESULT put_PrefixChar(BYTE value) = 0;                         // 7
  virtual HRESULT get_PrefixCharCount(LONG* value) = 0;                   // 8
  virtual HRESULT put_PrefixCharCount(LONG value) = 0;                    // 8
  virtual HRESULT GetDataString(BSTR* result) = 0;                        // 9
  virtual HRESULT GetFrameString(BSTR* result) = 0;                       // 10
  virtual HRESULT GetFragment(BSTR* result) = 0;                          // 12
  virtual HRESULT FromBuffer(PTRBUF ptrBuf, LONG len, LONG* result) = 0;  // 13
  virtual HRESULT ToBuffer(PTRBUF ptrBuf, LONG* result) = 0;              // 14
  virtual HRESULT GetFrameStringSub33(BSTR* result) = 0;                  // 15
  virtual HRESULT Clone(IFrame645** result) = 0;                          // 16
};

constexpr CLSID CLSID_Frame645 = zr::com::guid("D6C59CA7-E3F5-4555-9DD3-2168D4C78030");

}  // namespace kavlink
