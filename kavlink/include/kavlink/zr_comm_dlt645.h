// IZrCommDLT645: the DL/T 645 master on a serial line, and its events.
#pragma once

#include <kavlink/frame645.h>
#include <kavlink/zr_serial.h>
#include <kavlink/zr_tools.h>

#include "com/com.h"

namespace kavlink {

struct IZrCommDLT645 : IDispatch {
  ZR_IID("140C7A4A-7369-4820-91F1-278C9BAF663C");
  using Base = IDispatch;
  virtual HRESULT get_Serial(IZrSerial** value) = 0;                   // 1
  virtual HRESULT get_WaitTimeout(ULONG* value) = 0;                   // 2
  virtual HRESULT put_WaitTimeout(ULONG value) = 0;                    // 2
  virtual HRESULT get_AutoReceive(VARIANT_BOOL* value) = 0;            // 3
  virtual HRESULT put_AutoReceive(VARIANT_BOOL value) = 0;             // 3
  virtual HRESULT get_AttemptTimes(LONG* value) = 0;                   // 13
  virtual HRESULT put_AttemptTimes(LONG value) = 0;                    // 13
  virtual HRESULT get_Tools(IZrTools** value) = 0;                     // 15
  virtual HRESULT AboutBox() = 0;                                      // -552
  virtual HRESULT Send(IFrame645* txFrame, VARIANT_BOOL* result) = 0;  // 4
  virtual HRESULT GetNewIFrame645(IFrame645** result) = 0;             // 5
  virtual HRESULT Recv(IFrame645** result) = 0;                        // 6
  virtual HRESULT Comm(IFrame645* txFrame, IFrame645** result) = 0;    // 7
  virtual HRESULT ClearBuf() = 0;                                      // 8
  virtual HRESULT SetCheckCS(VARIANT_BOOL check) = 0;                  // 14
};

// The source interface: sinks implement IDispatch and receive these dispids.
struct _IZrCommDLT645Events {
  ZR_IID("50C3A0DB-2581-42E7-8377-A17E26CF0E3B");
  static constexpr DISPID kOnRecvFrame = 1;    // (IFrame645* rxFrame)
  static constexpr DISPID kOnSerialEvent = 2;  // (TSerialEvent eventFlag)
};

constexpr CLSID CLSID_ZrCommDLT645 = zr::com::guid("DDC7E894-2F0D-4779-B3FA-FCEA1837F33F");

}  // namespace kavlink
