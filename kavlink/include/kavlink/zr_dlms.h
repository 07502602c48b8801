// IZrCosemObject, IZrDLMS and _IZrDLMSEvents: the DLMS/COSEM client over HDLC (serial
// line or TCP), the COSEM attribute or method it reads, writes and invokes, and the
// meter-side engine the same control carries.
#pragma once

#include <kavlink/zr_serial.h>
#include <kavlink/zr_socket.h>
#include <kavlink/zr_tools.h>

#include "com/com.h"

namespace kavlink {

// The A-XDR data tags; the names are the type library's own, odd spelling included.
enum TZrCosemDataType : LONG {
  cdtNONE = 0,
  cdtARRAY = 1,
  cdtSTRUCTURE = 2,
  cdtBOOLEAN = 3,
  cdtBIT_STRING = 4,
  cdtINT32 = 5,
  cdtUINT32 = 6,
  cdtOCTET_STRING = 9,
  cdtSTRING = 10,
  cdtSTRING_UTF8 = 12,
  cdtBINARY_CODED_DESIMAL = 13,
  cdtINT8 = 15,
  cdtINT16 = 16,
  cdtUINT8 = 17,
  cdtUINT16 = 18,
  cdtINT64 = 20,
  cdtUINT64 = 21,
  cdtENUM = 22,
  cdtFLOAT32 = 23,
  cdtFLOAT64 = 24,
  cdtDATETIME = 25,
  cdtDATE = 26,
  cdtTIME = 27,
};

struct IZrCosemObject : IDispatch {
  ZR_IID("CF8C22E6-2850-4466-81A3-B59B5873CFCE");
  using Base = IDispatch;
  virtual HRESULT get_ClassID(USHORT* value) = 0;             // 1
  virtual HRESULT put_ClassID(USHORT value) = 0;              // 1
  virtual HRESULT get_index(BYTE* value) = 0;                 // 2
  virtual HRESULT put_index(BYTE value) = 0;                  // 2
  virtual HRESULT get_OBIS(BSTR* value) = 0;                  // 3
  virtual HRESULT put_OBIS(BSTR value) = 0;                   // 3
  virtual HRESULT get_Data(LONG index, BYTE* value) = 0;      // 4
  virtual HRESULT put_Data(LONG index, BYTE value) = 0;       // 4
  virtual HRESULT get_DataLen(LONG* value) = 0;               // 5
  virtual HRESULT put_DataLen(LONG value) = 0;                // 5
  virtual HRESULT get_AccessType(BYTE* value) = 0;            // 6
  virtual HRESULT get_AccessResult(BYTE* value) = 0;          // 7
  virtual HRESULT Clear() = 0;                                // 8
  virtual HRESULT GetDataPointer(PTRBUF* result) = 0;         // 9
  virtual HRESULT GetDataType(TZrCosemDataType* result) = 0;  // 0xa
};

// Members in vtable order (no member has dispid 0x14). BOOL results are written as 1.
struct IZrDLMS : IDispatch {
  ZR_IID("7586435D-DFBF-453B-AB8D-FA6E9C8A9086");
  using Base = IDispatch;
  virtual HRESULT get_Serial(IZrSerial** value) = 0;                                                // 1
  virtual HRESULT get_socket(IZrSocket** value) = 0;                                                // 2
  virtual HRESULT get_Authentioation(LONG* value) = 0;                                              // 3
  virtual HRESULT put_Authentioation(LONG value) = 0;                                               // 3
  virtual HRESULT get_Password(BSTR* value) = 0;                                                    // 4
  virtual HRESULT put_Password(BSTR value) = 0;                                                     // 4
  virtual HRESULT get_WaitTimeout(LONG* value) = 0;                                                 // 5
  virtual HRESULT put_WaitTimeout(LONG value) = 0;                                                  // 5
  virtual HRESULT get_PhysicalAddr(USHORT* value) = 0;                                              // 6
  virtual HRESULT put_PhysicalAddr(USHORT value) = 0;                                               // 6
  virtual HRESULT get_LogicalAddr(USHORT* value) = 0;                                               // 7
  virtual HRESULT put_LogicalAddr(USHORT value) = 0;                                                // 7
  virtual HRESULT get_ClientAddr(BYTE* value) = 0;                                                  // 8
  virtual HRESULT put_ClientAddr(BYTE value) = 0;                                                   // 8
  virtual HRESULT get_Channel(LONG* value) = 0;                                                     // 9
  virtual HRESULT put_Channel(LONG value) = 0;                                                      // 9
  virtual HRESULT get_Custom(BOOL* value) = 0;                                                      // 0xa
  virtual HRESULT put_Custom(BOOL value) = 0;                                                       // 0xa
  virtual HRESULT get_Tools(IZrTools** value) = 0;                                                  // 0xb
  virtual HRESULT GetNewIZrCosemObject(IZrCosemObject** result) = 0;                                // 0xc
  virtual HRESULT GetLastErrorStr(BSTR* result) = 0;                                                // 0xd
  virtual HRESULT GetCommMsg(BOOL btx, BSTR* result) = 0;                                           // 0xe
  virtual HRESULT CosemOpen(BOOL* result) = 0;                                                      // 0xf
  virtual HRESULT CosemRelease() = 0;                                                               // 0x10
  virtual HRESULT CosemGet(IZrCosemObject* cosem, BOOL* result) = 0;                                // 0x11
  virtual HRESULT CosemSet(IZrCosemObject* cosem, BOOL* result) = 0;                                // 0x12
  virtual HRESULT CosemAction(IZrCosemObject* cosem, BOOL* result) = 0;                             // 0x13
  virtual HRESULT CosemGetWithList(IZrList* cosemList, BOOL* result) = 0;                           // 0x15
  virtual HRESULT CosemSetWithList(IZrList* cosemList, BOOL* result) = 0;                           // 0x16
  virtual HRESULT CosemActionWithList(IZrList* cosemList, BOOL* result) = 0;                        // 0x17
  virtual HRESULT DlmsInitServer() = 0;                                                             // 0x1e
  virtual HRESULT DlmsCheckRequest(PTRBUF request, LONG len, LONG* result) = 0;                     // 0x1f
  virtual HRESULT DlmsHandleRequest(PTRBUF response, LONG* result) = 0;                             // 0x20
  virtual HRESULT CosemHandleRequest(PTRBUF request, LONG len, PTRBUF response, LONG* result) = 0;  // 0x21
};

// The source interface: sinks implement IDispatch and receive these dispids.
struct _IZrDLMSEvents {
  ZR_IID("8DE7BECE-7B11-4801-B844-4F89FA37F70D");
  static constexpr DISPID kOnDLMSMsg = 1;      // (BOOL btx)
  static constexpr DISPID kOnCosemAuthen = 2;  // (I4 level, UI4 ptrPassword, I4* len, BOOL* success)
  static constexpr DISPID kOnCosemComm = 3;    // (UI4 ptrBuf, I4* len)
  static constexpr DISPID kOnCosemServer = 4;  // (IZrCosemObject* cosem, BOOL* result)
};

constexpr CLSID CLSID_ZrCosemObject = zr::com::guid("B49621C0-6E3E-4458-B3B6-E8902E9340A0");
constexpr CLSID CLSID_ZrDLMS = zr::com::guid("4102FA0A-1EB3-4DE1-851D-5C6C33148249");

}  // namespace kavlink
