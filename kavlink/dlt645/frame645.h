// The frame object: a Frame645Data behind IFrame645.
#pragma once

#include <kavlink/frame645.h>

#include "com/dispatch.h"
#include "com/object.h"
#include "dlt645/frame645_codec.h"

namespace kavlink {

class CFrame645 final
    : public zr::com::ComObject<CFrame645, zr::com::DispatchImpl<CFrame645, IFrame645>, zr::com::SupportErrorInfoImpl> {
 public:
  static constexpr CLSID kClsid = CLSID_Frame645;
  static constexpr std::u16string_view kProgId = u"kavlink.Frame645.1";
  static constexpr std::u16string_view kViProgId = u"kavlink.Frame645";
  static constexpr bool kAggregatable = false;

  HRESULT get_Address(BSTR* value) override;
  HRESULT put_Address(BSTR value) override;
  HRESULT get_CtrlWord(BYTE* value) override;
  HRESULT put_CtrlWord(BYTE value) override;
  HRESULT get_DLen(LONG* value) override;
  HRESULT put_DLen(LONG value) override;
  HRESULT get_Data(LONG index, BYTE* value) override;
  HRESULT put_Data(LONG index, BYTE value) override;
  HRESULT get_FLen(LONG* value) override;
  HRESULT get_Handle33(VARIANT_BOOL* value) override;
  HRESULT put_Handle33(VARIANT_BOOL value) override;
  HRESULT get_PrefixChar(BYTE* value) override;
  HRESULT put_PrefixChar(BYTE value) override;
  HRESULT get_PrefixCharCount(LONG* value) override;
  HRESULT put_PrefixCharCount(LONG value) override;
  HRESULT GetDataString(BSTR* result) override;
  HRESULT GetFrameString(BSTR* result) override;
  HRESULT GetFragment(BSTR* result) override;
  HRESULT FromBuffer(PTRBUF ptrBuf, LONG len, LONG* result) override;
  HRESULT ToBuffer(PTRBUF ptrBuf, LONG* result) override;
  HRESULT GetFrameStringSub33(BSTR* result) override;
  HRESULT Clone(IFrame645** result) override;

  // Direct access for the master control, which fills frames from its receive buffer.
  Frame645Data& frame() { return f_; }

 private:
  Frame645Data f_;
};

}  // namespace kavlink
