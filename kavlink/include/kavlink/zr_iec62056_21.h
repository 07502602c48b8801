// IZrIEC62056_21: readout and programming of IEC 62056-21 meters (modes A, B and C) on a
// serial line, and its events.
//
// Protocol failures are not COM errors: an operation returns FALSE and GetLastError tells
// why (1 no answer, 2 wrong reply, 3 message too long, 4 the meter broke off, 5 wrong block
// check character, 6 three NAKs). COM errors mean the control was busy, the serial port
// failed (its text) or an argument was wrong.
#pragma once

#include <kavlink/data_msg.h>
#include <kavlink/zr_serial.h>
#include <kavlink/zr_tools.h>

#include "com/com.h"

namespace kavlink {

// How OnComm renders a message.
enum TEventMsgFormat : LONG {
  Ascii = 1,        // the bytes as they are
  AsciiFormat = 2,  // control bytes named ("[STX]" ...), the block check as "[BCC=xx]"
  HexFormat = 3,    // "02 31 ..."
};

struct IZrIEC62056_21 : IDispatch {
  ZR_IID("E0A137E9-BB51-41DD-8293-B25CD986CBF8");
  using Base = IDispatch;
  virtual HRESULT get_DeviceAddress(BSTR* value) = 0;                                  // 1
  virtual HRESULT put_DeviceAddress(BSTR value) = 0;                                   // 1
  virtual HRESULT get_Password(BSTR* value) = 0;                                       // 2
  virtual HRESULT put_Password(BSTR value) = 0;                                        // 2
  virtual HRESULT get_WakeupCharCount(LONG* value) = 0;                                // 3
  virtual HRESULT put_WakeupCharCount(LONG value) = 0;                                 // 3
  virtual HRESULT get_Serial(IZrSerial** value) = 0;                                   // 4
  virtual HRESULT get_MsgMaxLen(LONG* value) = 0;                                      // 5
  virtual HRESULT put_MsgMaxLen(LONG value) = 0;                                       // 5
  virtual HRESULT get_Format_P(LONG* value) = 0;                                       // 6
  virtual HRESULT put_Format_P(LONG value) = 0;                                        // 6
  virtual HRESULT get_Format_W(LONG* value) = 0;                                       // 7
  virtual HRESULT put_Format_W(LONG value) = 0;                                        // 7
  virtual HRESULT get_Format_R(LONG* value) = 0;                                       // 8
  virtual HRESULT put_Format_R(LONG value) = 0;                                        // 8
  virtual HRESULT get_Format_E(LONG* value) = 0;                                       // 9
  virtual HRESULT put_Format_E(LONG value) = 0;                                        // 9
  virtual HRESULT get_Format_B(LONG* value) = 0;                                       // 10
  virtual HRESULT put_Format_B(LONG value) = 0;                                        // 10
  virtual HRESULT get_MsgDelay(LONG* value) = 0;                                       // 11
  virtual HRESULT put_MsgDelay(LONG value) = 0;                                        // 11
  virtual HRESULT get_MsgNotify(VARIANT_BOOL* value) = 0;                              // 12
  virtual HRESULT put_MsgNotify(VARIANT_BOOL value) = 0;                               // 12
  virtual HRESULT get_MsgDisplayGroup(VARIANT_BOOL* value) = 0;                        // 13
  virtual HRESULT put_MsgDisplayGroup(VARIANT_BOOL value) = 0;                         // 13
  virtual HRESULT get_MsgDisplayFormat(TEventMsgFormat* value) = 0;                    // 14
  virtual HRESULT put_MsgDisplayFormat(TEventMsgFormat value) = 0;                     // 14
  virtual HRESULT get_StartBaudrate(TBaudRate* value) = 0;                             // 15
  virtual HRESULT put_StartBaudrate(TBaudRate value) = 0;                              // 15
  virtual HRESULT get_MsgTimeout(LONG* value) = 0;                                     // 16
  virtual HRESULT put_MsgTimeout(LONG value) = 0;                                      // 16
  virtual HRESULT get_SwitchBaudDelay(LONG* value) = 0;                                // 17
  virtual HRESULT put_SwitchBaudDelay(LONG value) = 0;                                 // 17
  virtual HRESULT get_MsgImmediate(VARIANT_BOOL* value) = 0;                           // 18
  virtual HRESULT put_MsgImmediate(VARIANT_BOOL value) = 0;                            // 18
  virtual HRESULT get_ProtocolCtrl(LONG* value) = 0;                                   // 37
  virtual HRESULT put_ProtocolCtrl(LONG value) = 0;                                    // 37
  virtual HRESULT get_ModeCtrl(LONG* value) = 0;                                       // 38
  virtual HRESULT put_ModeCtrl(LONG value) = 0;                                        // 38
  virtual HRESULT get_Tools(IZrTools** value) = 0;                                     // 39
  virtual HRESULT GetLastError(LONG* result) = 0;                                      // 19
  virtual HRESULT GetNewIDataMsg(IDataMsg** result) = 0;                               // 20
  virtual HRESULT DataReadout(BSTR* datamsg, VARIANT_BOOL* result) = 0;                // 21
  virtual HRESULT ProgBegin(VARIANT_BOOL* result) = 0;                                 // 22
  virtual HRESULT ProgEnd() = 0;                                                       // 23
  virtual HRESULT ProgWrite(BSTR param, VARIANT_BOOL* result) = 0;                     // 24
  virtual HRESULT ProgWriteBlock(BSTR param, VARIANT_BOOL* result) = 0;                // 25
  virtual HRESULT ProgRead(BSTR param, BSTR* datamsg, VARIANT_BOOL* result) = 0;       // 26
  virtual HRESULT ProgExec(BSTR datamsg, VARIANT_BOOL* result) = 0;                    // 27
  virtual HRESULT Stop() = 0;                                                          // 28
  virtual HRESULT PickDataMsg(BSTR datamsg, IDataMsg** result) = 0;                    // 29
  virtual HRESULT ProgBatWrite(IDataMsg* dm, VARIANT_BOOL* result) = 0;                // 31
  virtual HRESULT ProgBatRead(IDataMsg* dm, BSTR* datamsg, VARIANT_BOOL* result) = 0;  // 32
  virtual HRESULT ProgBatExec(IDataMsg* dm, VARIANT_BOOL* result) = 0;                 // 33
  virtual HRESULT SaveConfig(BSTR fullFileName) = 0;                                   // 34
  virtual HRESULT LoadConfig(BSTR fullFileName) = 0;                                   // 35
  virtual HRESULT ShowSetupDlg() = 0;                                                  // 36
};

// The source interface: sinks implement IDispatch and receive these dispids.
struct _IZrIEC62056_21Events {
  ZR_IID("F597D9EC-07A5-49F1-8CE0-6B64DA224168");
  static constexpr DISPID kOnComm = 1;       // (BSTR msg, VARIANT_BOOL btx): a message sent (1) or received (0)
  static constexpr DISPID kOnDataGroup = 2;  // (BSTR group): one data line of a readout as it arrives
};

constexpr CLSID CLSID_ZrIEC62056_21 = zr::com::guid("8D0B0F4C-40E7-4362-BE6D-FF680E0F3FD0");

}  // namespace kavlink
