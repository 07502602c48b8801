// IZrTools and IZrList: byte buffers, hex and plain text, and lists of dispatch objects.
#pragma once

#include "com/com.h"

namespace kavlink {

struct IZrList : IDispatch {
  ZR_IID("BAFCF43B-D4BE-4AF3-B6B9-9F3CD8C5E857");
  using Base = IDispatch;
  virtual HRESULT get_Items(LONG index, IDispatch** item) = 0;  // 1
  virtual HRESULT GetCount(LONG* count) = 0;                    // 2
  virtual HRESULT Add(IDispatch* Val) = 0;                      // 3
  virtual HRESULT Empty() = 0;                                  // 4
};

struct IZrTools : IDispatch {
  ZR_IID("BA2B759A-9FBD-4BEC-8F06-BA5B2E6CB40D");
  using Base = IDispatch;
  virtual HRESULT GetNewByteArray(LONG elements, VARIANT* result) = 0;     // 1
  virtual HRESULT BufToHexStr(PTRBUF ptrBuf, LONG len, BSTR* result) = 0;  // 2
  virtual HRESULT BufToStr(PTRBUF ptrBuf, LONG len, BSTR* result) = 0;     // 3
  virtual HRESULT StrToBuf(BSTR newVal, PTRBUF ptrBuf, LONG* result) = 0;  // 4
  virtual HRESULT GetNewIZrList(IZrList** result) = 0;                     // 5
};

constexpr CLSID CLSID_ZrTools = zr::com::guid("E11F4F07-C85F-4C15-89F4-C9B3AD458075");
constexpr CLSID CLSID_ZrList = zr::com::guid("931FF87A-EEFA-4FBF-AB79-914B60DB3826");

}  // namespace kavlink
