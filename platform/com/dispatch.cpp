#include "com/dispatch.h"

#include <algorithm>

#include "com/com_ptr.h"

namespace zr::com {
namespace {

char16_t fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool sameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

void fillExcepInfo(EXCEPINFO* excep, HRESULT scode) {
  if (!excep) return;
  *excep = EXCEPINFO{};
  excep->scode = scode;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.put()) == S_OK && info) {
    info->GetSource(&excep->bstrSource);
    info->GetDescription(&excep->bstrDescription);
    info->GetHelpFile(&excep->bstrHelpFile);
    info->GetHelpContext(&excep->dwHelpContext);
  }
}

}  // namespace

HRESULT DispTable::getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const {
  if (!names || !ids) return E_INVALIDARG;
  if (count == 0) return S_OK;
  HRESULT h = S_OK;
  ids[0] = DISPID_UNKNOWN;
  std::u16string_view first = names[0] ? std::u16string_view(names[0]) : std::u16string_view();
  for (const Member& m : members_) {
    if (sameName(m.name, first)) {
      ids[0] = m.id;
      break;
    }
  }
  if (ids[0] == DISPID_UNKNOWN) h = DISP_E_UNKNOWNNAME;
  // Argument names are not known.
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    h = DISP_E_UNKNOWNNAME;
  }
  return h;
}

HRESULT DispTable::invoke(void* itf, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                          UINT* argErr) const {
  if (!params) return E_INVALIDARG;
  if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
  const Member* found = nullptr;
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  for (const Member& m : members_) {
    if (m.id == id && (put ? m.kind == DISPATCH_PROPERTYPUT : (m.kind & flags) != 0)) {
      found = &m;
      break;
    }
  }
  // An unknown id and a known one called the wrong way are the same fault to the caller.
  if (!found) return DISP_E_MEMBERNOTFOUND;

  DISPPARAMS call = *params;
  if (put) {
    if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
      return DISP_E_PARAMNOTFOUND;
    call.cNamedArgs = 0;
    call.rgdispidNamedArgs = nullptr;
  } else if (params->cNamedArgs != 0) {
    return DISP_E_NONAMEDARGS;
  }
  if (result) VariantInit(result);
  HRESULT h = found->thunk(itf, &call, put ? nullptr : result, argErr);
  if (h == DISP_E_BADPARAMCOUNT || h == DISP_E_TYPEMISMATCH || h == DISP_E_PARAMNOTFOUND) return h;
  if (FAILED(h)) {
    // A failing member is reported as an exception carrying its code and error info.
    fillExcepInfo(excep, h);
    return DISP_E_EXCEPTION;
  }
  return h;
}

namespace disp {

HRESULT readArg(const VARIANT& v, VARTYPE vt, VARIANT& holder) {
  if (vt == VT_VARIANT) {
    const VARIANT* src = &v;
    if (v.vt == (VT_BYREF | VT_VARIANT)) {
      src = v.pvarVal;
      // One level only: a reference to itself or a chain is refused, not followed.
      if (!src || src->vt == (VT_BYREF | VT_VARIANT)) return DISP_E_TYPEMISMATCH;
    }
    return VariantCopy(&holder, src);
  }
  return VariantChangeType(&holder, &v, 0, vt);
}

HRESULT readInterfaceArg(const VARIANT& v, REFIID iid, IUnknown** out) {
  *out = nullptr;
  IUnknown* p = nullptr;
  switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return S_OK;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      p = v.punkVal;
      break;
    case VT_DISPATCH | VT_BYREF:
    case VT_UNKNOWN | VT_BYREF:
      p = v.ppunkVal ? *v.ppunkVal : nullptr;
      break;
    default:
      return DISP_E_TYPEMISMATCH;
  }
  if (!p) return S_OK;
  void* q = nullptr;
  if (FAILED(p->QueryInterface(iid, &q))) return DISP_E_TYPEMISMATCH;
  *out = static_cast<IUnknown*>(q);
  return S_OK;
}

HRESULT readPtrBuf(const VARIANT& v, PTRBUF* out) {
  VARIANT tmp;
  VariantInit(&tmp);
  // A by-reference address without its pointer has nothing to read the address from.
  if ((v.vt & VT_BYREF) && !v.byref) return DISP_E_TYPEMISMATCH;
  VARTYPE vt = v.vt & VT_BYREF ? static_cast<VARTYPE>(v.vt & ~VT_BYREF) : v.vt;
  // A 32-bit address passed as I4 keeps its bits; a 64-bit one needs I8/UI8.
  VARTYPE want = (vt == VT_I4 || vt == VT_UI4 || vt == VT_INT || vt == VT_UINT) ? VT_UI4 : VT_UI8;
  if (vt == VT_I4 || vt == VT_INT) {
    LONG l = (v.vt & VT_BYREF) ? *v.plVal : v.lVal;
    *out = static_cast<ULONG>(l);
    return S_OK;
  }
  HRESULT h = VariantChangeType(&tmp, &v, 0, want);
  if (FAILED(h)) return h;
  *out = want == VT_UI4 ? tmp.ulVal : static_cast<PTRBUF>(tmp.ullVal);
  return S_OK;
}

}  // namespace disp

HRESULT invokeById(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result, EXCEPINFO* excep) {
  if (result) VariantClear(result);  // the result is an out-value: what it held goes
  std::reverse(args.begin(), args.end());
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS dp{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    dp.rgdispidNamedArgs = &named;
    dp.cNamedArgs = 1;
  }
  UINT argErr = 0;
  HRESULT h = d->Invoke(id, GUID_NULL, 0, flags, &dp, result, excep, &argErr);
  for (VARIANT& v : args) VariantClear(&v);
  return h;
}

HRESULT invokeByName(IDispatch* d, std::u16string_view name, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                     EXCEPINFO* excep) {
  std::u16string n(name);
  LPOLESTR names[1] = {n.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT h = d->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
  if (FAILED(h)) {
    for (VARIANT& v : args) VariantClear(&v);
    return h;
  }
  return invokeById(d, id, flags, std::move(args), result, excep);
}

VARIANT varI4(LONG v) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_I4;
  r.lVal = v;
  return r;
}
VARIANT varUI1(BYTE v) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_UI1;
  r.bVal = v;
  return r;
}
VARIANT varBool(bool v) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_BOOL;
  r.boolVal = v ? VARIANT_TRUE : VARIANT_FALSE;
  return r;
}
VARIANT varBstr(std::u16string_view s) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_BSTR;
  r.bstrVal = allocBstr(s);
  return r;
}
VARIANT varR8(double v) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_R8;
  r.dblVal = v;
  return r;
}
VARIANT varPtr(const void* p) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_UI8;
  r.ullVal = reinterpret_cast<uintptr_t>(p);
  return r;
}
VARIANT varDispatch(IDispatch* d) {
  VARIANT r;
  VariantInit(&r);
  r.vt = VT_DISPATCH;
  r.pdispVal = d;
  if (d) d->AddRef();
  return r;
}

}  // namespace zr::com
