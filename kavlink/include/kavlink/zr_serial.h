// IZrSerial and _IZrSerialEvents: one serial port for a host, with its line settings,
// the machine's port list, I/O, waits and comm events.
#pragma once

#include "com/com.h"
#include "kavlink/zr_tools.h"

namespace kavlink {

enum TBaudRate : LONG {
  br300 = 300,
  br600 = 600,
  br1200 = 1200,
  br2400 = 2400,
  br4800 = 4800,
  br9600 = 9600,
  br19200 = 19200,
  br38400 = 38400,
  br57600 = 57600,
  br115200 = 115200,
  br128000 = 128000,
  br256000 = 256000,
};

enum TParityBits : LONG {
  prNone = 0,
  prOdd = 1,
  prEven = 2,
  prMark = 3,
  prSpace = 4,
};

enum TDataBits : LONG {
  dbFive = 5,
  dbSix = 6,
  dbSeven = 7,
  dbEight = 8,
};

enum TStopBits : LONG {
  sbOneStopBit = 0,
  sbOne5StopBits = 1,
  sbTwoStopBits = 2,
};

enum TFlow : LONG {
  fcNone = 1,
  fcHardWare = 2,
  fcXonXoff = 3,
  fcCustom = 4,
};

// The bits of a comm-event mask; OnComm carries one of them at a time.
enum TSerialEvent : LONG {
  ef_None = 0,
  ef_RXCHAR = 1,
  ef_RXFLAG = 2,
  ef_TXEMPTY = 4,
  ef_CTS = 8,
  ef_DSR = 16,
  ef_RLSD = 32,
  ef_BREAK = 64,
  ef_ERR = 128,
  ef_RING = 256,
};

// Members in vtable order. Settings take effect on the port at the next Open or UpdateDCB.
// A failing method returns DISP_E_EXCEPTION with the failure's text as error information.
struct IZrSerial : IDispatch {
  ZR_IID("2EB28B97-CAE9-4625-AB49-DA58AD00735C");
  using Base = IDispatch;
  virtual HRESULT get_BaudRate(TBaudRate* value) = 0;                                            // 1
  virtual HRESULT put_BaudRate(TBaudRate value) = 0;                                             // 1
  virtual HRESULT get_ParityBits(TParityBits* value) = 0;                                        // 2
  virtual HRESULT put_ParityBits(TParityBits value) = 0;                                         // 2
  virtual HRESULT get_DataBits(TDataBits* value) = 0;                                            // 3
  virtual HRESULT put_DataBits(TDataBits value) = 0;                                             // 3
  virtual HRESULT get_StopBits(TStopBits* value) = 0;                                            // 4
  virtual HRESULT put_StopBits(TStopBits value) = 0;                                             // 4
  virtual HRESULT get_Port(BSTR* value) = 0;                                                     // 5
  virtual HRESULT put_Port(BSTR value) = 0;                                                      // 5
  virtual HRESULT get_BufferSize(LONG* value) = 0;                                               // 21
  virtual HRESULT put_BufferSize(LONG value) = 0;                                                // 21
  virtual HRESULT get_EventChar(CHAR* value) = 0;                                                // 31
  virtual HRESULT put_EventChar(CHAR value) = 0;                                                 // 31
  virtual HRESULT get_DiscardNull(VARIANT_BOOL* value) = 0;                                      // 32
  virtual HRESULT put_DiscardNull(VARIANT_BOOL value) = 0;                                       // 32
  virtual HRESULT get_FlowControl(TFlow* value) = 0;                                             // 33
  virtual HRESULT put_FlowControl(TFlow value) = 0;                                              // 33
  virtual HRESULT get_Connected(VARIANT_BOOL* value) = 0;                                        // 37
  virtual HRESULT get_Blocking(VARIANT_BOOL* value) = 0;                                         // 39
  virtual HRESULT put_Blocking(VARIANT_BOOL value) = 0;                                          // 39
  virtual HRESULT get_AutoEvent(VARIANT_BOOL* value) = 0;                                        // 41
  virtual HRESULT put_AutoEvent(VARIANT_BOOL value) = 0;                                         // 41
  virtual HRESULT get_Tools(IZrTools** value) = 0;                                               // 47
  virtual HRESULT Open() = 0;                                                                    // 6
  virtual HRESULT Close() = 0;                                                                   // 7
  virtual HRESULT GetInputCount(LONG* result) = 0;                                               // 8
  virtual HRESULT Send(PTRBUF ptrBuf, LONG len, VARIANT_BOOL* result) = 0;                       // 9
  virtual HRESULT SendStr(BSTR str, VARIANT_BOOL* result) = 0;                                   // 10
  virtual HRESULT Recv(PTRBUF ptrBuf, LONG len, LONG* result) = 0;                               // 11
  virtual HRESULT RecvStr(BSTR* result) = 0;                                                     // 12
  virtual HRESULT ClearBuf() = 0;                                                                // 13
  virtual HRESULT WaitForData(LONG timeout, LONG* result) = 0;                                   // 18
  virtual HRESULT RecvWait(PTRBUF ptrBuf, LONG len, LONG timeout, LONG* result) = 0;             // 20
  virtual HRESULT SetParityCheck(VARIANT_BOOL check, VARIANT_BOOL replace, CHAR errorChar) = 0;  // 25
  virtual HRESULT SetDTR_RTSControl(SHORT DTRControl, SHORT RTSControl) = 0;                     // 26
  virtual HRESULT SetXonChar_XoffChar(CHAR XoffChar, CHAR XonChar) = 0;                          // 27
  virtual HRESULT SetXonXoffIn_XonXoffOut(VARIANT_BOOL XonXoffIn, VARIANT_BOOL XonXoffOut) = 0;  // 28
  virtual HRESULT SetDsrSensitivity(VARIANT_BOOL value) = 0;                                     // 29
  virtual HRESULT SetTXContinueOnXoff(VARIANT_BOOL value) = 0;                                   // 30
  virtual HRESULT ShowSetupDlg() = 0;                                                            // 34
  virtual HRESULT SaveConfig(BSTR fullFileName) = 0;                                             // 35
  virtual HRESULT LoadConfig(BSTR fullFileName) = 0;                                             // 36
  virtual HRESULT UpdateDCB() = 0;                                                               // 38
  virtual HRESULT AboutBox() = 0;                                                                // -552
  virtual HRESULT GetPortCount(LONG* result) = 0;                                                // 42
  virtual HRESULT GetPortName(LONG index, BSTR* result) = 0;                                     // 43
  virtual HRESULT Stop() = 0;                                                                    // 44
  virtual HRESULT SetChar(VARIANT_BOOL UseErrChar, CHAR ErrChar, CHAR EofChar) = 0;              // 46
};

// The event interface (dispatch only): a sink implements IDispatch and answers these DISPIDs.
struct _IZrSerialEvents {
  ZR_IID("21B5CCA6-63E9-47E4-8486-910521D06FA1");
  static constexpr DISPID kOnComm = 1;  // (TSerialEvent eventFlag), one event bit per call
};

constexpr CLSID CLSID_ZrSerial = zr::com::guid("223B57C9-DDB7-40A6-81D6-EC61BC0BC80E");

}  // namespace kavlink
