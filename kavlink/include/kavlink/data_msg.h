// IDataMsg: the data sets of an IEC 62056-21 readout, or the groups a batch programming
// operation sends, each data set split into address, value and unit.
#pragma once

#include "com/com.h"

namespace kavlink {

struct IDataMsg : IDispatch {
  ZR_IID("2172DE7C-5D07-4A9A-AE65-5681E54A370B");
  using Base = IDispatch;
  virtual HRESULT Clear() = 0;                             // 1
  virtual HRESULT Add(BSTR Data) = 0;                      // 2
  virtual HRESULT AddBlock(BSTR block) = 0;                // 3
  virtual HRESULT GetCount(LONG* result) = 0;              // 4
  virtual HRESULT GetGroup(LONG index, BSTR* result) = 0;  // 5
  virtual HRESULT GetDI(LONG index, BSTR* result) = 0;     // 6
  virtual HRESULT GetValue(LONG index, BSTR* result) = 0;  // 7
  virtual HRESULT GetUnit(LONG index, BSTR* result) = 0;   // 8
};

constexpr CLSID CLSID_DataMsg = zr::com::guid("AEA35CA0-B7DE-449C-A8EC-3E05DA5DDAA4");

}  // namespace kavlink
