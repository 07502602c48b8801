// Error objects and the thread's current error, as the automation runtime keeps them.
#include <atomic>
#include <new>
#include <string>

#include "com/com.h"
#include "com/object.h"
#include "text/ansi.h"

namespace {

class SimpleErrorInfo final : public zr::com::SimpleObject<SimpleErrorInfo, IErrorInfo> {
 public:
  SimpleErrorInfo(std::u16string_view description, std::u16string_view source, REFGUID iid)
      : description_(description), source_(source), iid_(iid) {}
  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    *guid = iid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return copyOut(source_, source); }
  HRESULT GetDescription(BSTR* description) override { return copyOut(description_, description); }
  HRESULT GetHelpFile(BSTR* helpFile) override {
    if (!helpFile) return E_INVALIDARG;
    *helpFile = nullptr;
    return S_OK;
  }
  HRESULT GetHelpContext(DWORD* context) override {
    if (!context) return E_INVALIDARG;
    *context = 0;
    return S_OK;
  }

 private:
  static HRESULT copyOut(const std::u16string& s, BSTR* out) {
    if (!out) return E_INVALIDARG;
    *out = zr::com::allocBstr(s);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  std::u16string description_;
  std::u16string source_;
  GUID iid_;
};

thread_local IErrorInfo* t_errorInfo = nullptr;

// Releases the thread's error object when the thread ends.
struct ThreadErrorSlot {
  ~ThreadErrorSlot() {
    if (t_errorInfo) {
      t_errorInfo->Release();
      t_errorInfo = nullptr;
    }
  }
};
thread_local ThreadErrorSlot t_slot;

}  // namespace

HRESULT SetErrorInfo(DWORD, IErrorInfo* info) {
  (void)&t_slot;
  if (info) info->AddRef();
  IErrorInfo* old = t_errorInfo;
  t_errorInfo = info;
  if (old) old->Release();
  return S_OK;
}

HRESULT GetErrorInfo(DWORD, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = t_errorInfo;
  t_errorInfo = nullptr;
  return *info ? S_OK : S_FALSE;
}

IErrorInfo* CreateSimpleErrorInfo(std::u16string_view description, std::u16string_view source, REFGUID iid) {
  return new (std::nothrow) SimpleErrorInfo(description, source, iid);
}

namespace zr::com {

HRESULT reportError(std::u16string_view source, std::string_view narrowText) {
  IErrorInfo* info = CreateSimpleErrorInfo(text::ansiToWide(narrowText), source);
  if (info) {
    SetErrorInfo(0, info);
    info->Release();
  }
  return DISP_E_EXCEPTION;
}

}  // namespace zr::com
