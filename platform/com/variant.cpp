#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "com/com.h"
#include "text/ansi.h"
#include "text/trim.h"

void VariantInit(VARIANT* v) {
  if (!v) return;
  std::memset(v, 0, sizeof(VARIANT));
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_INVALIDARG;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      SafeArrayDestroy(v->parray);
    } else {
      switch (v->vt) {
        case VT_BSTR:
          SysFreeString(v->bstrVal);
          break;
        case VT_DISPATCH:
          if (v->pdispVal) v->pdispVal->Release();
          break;
        case VT_UNKNOWN:
          if (v->punkVal) v->punkVal->Release();
          break;
        default:
          break;
      }
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT tmp = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      tmp.parray = nullptr;
      if (src->parray) {
        HRESULT h = SafeArrayCopy(src->parray, &tmp.parray);
        if (FAILED(h)) return h;
      }
    } else if (src->vt == VT_BSTR) {
      if (src->bstrVal) {
        tmp.bstrVal =
            SysAllocStringByteLen(reinterpret_cast<const char*>(src->bstrVal), SysStringByteLen(src->bstrVal));
        if (!tmp.bstrVal) return E_OUTOFMEMORY;
      }
    } else if (src->vt == VT_DISPATCH || src->vt == VT_UNKNOWN) {
      if (src->punkVal) src->punkVal->AddRef();
    }
  }
  VariantClear(dest);
  *dest = tmp;
  return S_OK;
}

namespace {

// A number taken out of a VARIANT: integers exactly, floating values as double.
struct Number {
  enum Kind { Signed, Unsigned, Floating } kind = Signed;
  long long s = 0;
  unsigned long long u = 0;
  double d = 0;
  bool fromBool = false;
};

// Reads the value behind a by-reference VARIANT into a plain one (no ownership change).
// A reference to a VARIANT is followed one level; false when it is null or refers on to
// another VARIANT reference (itself, or a chain), which is never walked.
bool deref(const VARIANT& v, VARIANT& r) {
  if (v.vt == (VT_BYREF | VT_VARIANT)) {
    if (!v.pvarVal || v.pvarVal->vt == (VT_BYREF | VT_VARIANT)) return false;
    return deref(*v.pvarVal, r);
  }
  r = v;
  if (!(v.vt & VT_BYREF)) return true;
  VariantInit(&r);
  r.vt = static_cast<VARTYPE>(v.vt & ~VT_BYREF);
  if (!v.byref) return true;
  if (r.vt & VT_ARRAY) {
    r.parray = *v.pparray;
    return true;
  }
  switch (r.vt) {
    case VT_I1:
      r.cVal = *v.pcVal;
      break;
    case VT_UI1:
      r.bVal = *v.pbVal;
      break;
    case VT_I2:
      r.iVal = *v.piVal;
      break;
    case VT_UI2:
      r.uiVal = *v.puiVal;
      break;
    case VT_I4:
    case VT_INT:
      r.lVal = *v.plVal;
      break;
    case VT_UI4:
    case VT_UINT:
      r.ulVal = *v.pulVal;
      break;
    case VT_I8:
      r.llVal = *v.pllVal;
      break;
    case VT_UI8:
      r.ullVal = *v.pullVal;
      break;
    case VT_R4:
      r.fltVal = *v.pfltVal;
      break;
    case VT_R8:
      r.dblVal = *v.pdblVal;
      break;
    case VT_BOOL:
      r.boolVal = *v.pboolVal;
      break;
    case VT_ERROR:
      r.scode = *v.plVal;
      break;
    case VT_BSTR:
      r.bstrVal = *v.pbstrVal;
      break;
    case VT_DISPATCH:
      r.pdispVal = *v.ppdispVal;
      break;
    case VT_UNKNOWN:
      r.punkVal = *v.ppunkVal;
      break;
    default:
      break;
  }
  return true;
}

HRESULT parseNumber(BSTR s, Number& n) {
  const std::string text(zr::text::trim(zr::text::wideToAnsi(zr::com::bstrView(s)), " \t"));
  if (text.empty()) return DISP_E_TYPEMISMATCH;
  if (text == "True" || text == "true" || text == "TRUE") {
    n.kind = Number::Signed;
    n.s = -1;
    n.fromBool = true;
    return S_OK;
  }
  if (text == "False" || text == "false" || text == "FALSE") {
    n.kind = Number::Signed;
    n.s = 0;
    return S_OK;
  }
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  if (text.find_first_of(".eE") == std::string::npos) {
    if (text[0] == '-') {
      long long v = std::strtoll(begin, &end, 10);
      if (*end == 0 && errno == 0) {
        n.kind = Number::Signed;
        n.s = v;
        return S_OK;
      }
    } else {
      unsigned long long v = std::strtoull(begin, &end, 10);
      if (*end == 0 && errno == 0) {
        n.kind = Number::Unsigned;
        n.u = v;
        return S_OK;
      }
    }
    if (errno == ERANGE) return DISP_E_OVERFLOW;
  }
  errno = 0;
  double d = std::strtod(begin, &end);
  if (*end != 0) return DISP_E_TYPEMISMATCH;
  if (errno == ERANGE) return DISP_E_OVERFLOW;
  n.kind = Number::Floating;
  n.d = d;
  return S_OK;
}

HRESULT readNumber(const VARIANT& v, Number& n) {
  switch (v.vt) {
    case VT_EMPTY:
      n.kind = Number::Signed;
      n.s = 0;
      return S_OK;
    case VT_I1:
      n.kind = Number::Signed;
      n.s = v.cVal;
      return S_OK;
    case VT_UI1:
      n.kind = Number::Signed;
      n.s = v.bVal;
      return S_OK;
    case VT_I2:
      n.kind = Number::Signed;
      n.s = v.iVal;
      return S_OK;
    case VT_UI2:
      n.kind = Number::Signed;
      n.s = v.uiVal;
      return S_OK;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      n.kind = Number::Signed;
      n.s = v.lVal;
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      n.kind = Number::Signed;
      n.s = v.ulVal;
      return S_OK;
    case VT_I8:
      n.kind = Number::Signed;
      n.s = v.llVal;
      return S_OK;
    case VT_UI8:
      n.kind = Number::Unsigned;
      n.u = v.ullVal;
      return S_OK;
    case VT_R4:
      n.kind = Number::Floating;
      n.d = v.fltVal;
      return S_OK;
    case VT_R8:
      n.kind = Number::Floating;
      n.d = v.dblVal;
      return S_OK;
    case VT_BOOL:
      n.kind = Number::Signed;
      n.s = v.boolVal ? -1 : 0;
      n.fromBool = v.boolVal != 0;
      return S_OK;
    case VT_BSTR:
      return parseNumber(v.bstrVal, n);
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

template <class T>
HRESULT toInteger(const Number& n, T& out) {
  using L = std::numeric_limits<T>;
  if (n.fromBool && !L::is_signed) {
    out = static_cast<T>(~T{0});  // VARIANT_TRUE keeps all its bits in an unsigned type
    return S_OK;
  }
  switch (n.kind) {
    case Number::Signed:
      if constexpr (L::is_signed) {
        if (n.s < static_cast<long long>(L::min()) || n.s > static_cast<long long>(L::max())) return DISP_E_OVERFLOW;
      } else {
        if (n.s < 0 || static_cast<unsigned long long>(n.s) > static_cast<unsigned long long>(L::max()))
          return DISP_E_OVERFLOW;
      }
      out = static_cast<T>(n.s);
      return S_OK;
    case Number::Unsigned:
      if (n.u > static_cast<unsigned long long>(L::max())) return DISP_E_OVERFLOW;
      out = static_cast<T>(n.u);
      return S_OK;
    case Number::Floating: {
      if (!std::isfinite(n.d)) return DISP_E_OVERFLOW;
      double r = std::nearbyint(n.d);  // round half to even, as the Windows coercion does
      if (r < static_cast<double>(L::min()) || r >= static_cast<double>(L::max()) + 1.0) return DISP_E_OVERFLOW;
      out = static_cast<T>(r);
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

double toDouble(const Number& n) {
  switch (n.kind) {
    case Number::Signed:
      return static_cast<double>(n.s);
    case Number::Unsigned:
      return static_cast<double>(n.u);
    default:
      return n.d;
  }
}

std::string numberText(const VARIANT& v) {
  char buf[64];
  switch (v.vt) {
    case VT_R4:
      std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v.fltVal));
      return buf;
    case VT_R8:
      std::snprintf(buf, sizeof buf, "%.15g", v.dblVal);
      return buf;
    case VT_UI8:
      return std::to_string(v.ullVal);
    default: {
      Number n;
      readNumber(v, n);
      return std::to_string(n.s);
    }
  }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* srcIn, WORD, VARTYPE vt) {
  if (!dest || !srcIn) return E_INVALIDARG;
  VARIANT src;
  if (!deref(*srcIn, src)) return DISP_E_TYPEMISMATCH;
  VARIANT out;
  VariantInit(&out);
  out.vt = vt;
  HRESULT h = S_OK;

  if (src.vt == vt) {
    VARIANT copy;
    VariantInit(&copy);
    h = VariantCopy(&copy, &src);
    if (FAILED(h)) return h;
    VariantClear(dest);
    *dest = copy;
    return S_OK;
  }
  if ((vt & VT_ARRAY) || (src.vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;

  switch (vt) {
    case VT_EMPTY:
      break;
    case VT_BSTR: {
      std::string text;
      if (src.vt == VT_EMPTY) {
        text.clear();
      } else if (src.vt == VT_BOOL) {
        text = src.boolVal ? "True" : "False";
      } else if (src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN || src.vt == VT_NULL) {
        return DISP_E_TYPEMISMATCH;
      } else {
        Number n;
        h = readNumber(src, n);
        if (FAILED(h)) return h;
        text = numberText(src);
      }
      out.bstrVal = zr::com::narrowBstr(text);
      if (!out.bstrVal) return E_OUTOFMEMORY;
      break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      if (src.vt != VT_DISPATCH && src.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
      if (!src.punkVal) {
        out.punkVal = nullptr;
        break;
      }
      void* p = nullptr;
      h = src.punkVal->QueryInterface(vt == VT_DISPATCH ? IDispatch::iid : IUnknown::iid, &p);
      if (FAILED(h)) return DISP_E_TYPEMISMATCH;
      out.punkVal = static_cast<IUnknown*>(p);
      break;
    }
    default: {
      Number n;
      h = readNumber(src, n);
      if (FAILED(h)) return h;
      switch (vt) {
        case VT_I1:
          h = toInteger(n, out.cVal);
          break;
        case VT_UI1:
          h = toInteger(n, out.bVal);
          break;
        case VT_I2:
          h = toInteger(n, out.iVal);
          break;
        case VT_UI2:
          h = toInteger(n, out.uiVal);
          break;
        case VT_I4:
        case VT_INT:
          h = toInteger(n, out.lVal);
          break;
        case VT_UI4:
        case VT_UINT:
          h = toInteger(n, out.ulVal);
          break;
        case VT_I8:
          h = toInteger(n, out.llVal);
          break;
        case VT_UI8:
          h = toInteger(n, out.ullVal);
          break;
        case VT_R4: {
          double d = toDouble(n);
          if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
          out.fltVal = static_cast<float>(d);
          break;
        }
        case VT_R8:
          out.dblVal = toDouble(n);
          break;
        case VT_BOOL:
          out.boolVal = toDouble(n) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        default:
          return DISP_E_BADVARTYPE;
      }
      if (FAILED(h)) return h;
    }
  }
  VariantClear(dest);
  *dest = out;
  return S_OK;
}

// ---- SAFEARRAY ------------------------------------------------------------------------

namespace {
ULONG elementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
      return 8;
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return sizeof(void*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}
constexpr USHORT FADF_BSTR = 0x100, FADF_UNKNOWN = 0x200, FADF_DISPATCH = 0x400, FADF_VARIANT = 0x800;
constexpr USHORT FADF_HAVEVARTYPE = 0x80;

// The element type is kept just before the descriptor, as on Windows.
struct ArrayBlock {
  VARTYPE vt;
  SAFEARRAY sa;
};
ArrayBlock* blockOf(SAFEARRAY* sa) {
  return reinterpret_cast<ArrayBlock*>(reinterpret_cast<char*>(sa) - offsetof(ArrayBlock, sa));
}
}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
  if (dims != 1 || !bounds) return nullptr;
  return SafeArrayCreateVector(vt, bounds[0].lLbound, bounds[0].cElements);
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lbound, ULONG elements) {
  ULONG size = elementSize(vt);
  if (size == 0) return nullptr;
  if (elements > std::numeric_limits<ULONG>::max() / size) return nullptr;
  auto* block = static_cast<ArrayBlock*>(std::calloc(1, sizeof(ArrayBlock)));
  if (!block) return nullptr;
  void* data = std::calloc(elements ? elements : 1, size);
  if (!data) {
    std::free(block);
    return nullptr;
  }
  block->vt = vt;
  SAFEARRAY& sa = block->sa;
  sa.cDims = 1;
  sa.cbElements = size;
  sa.pvData = data;
  sa.rgsabound[0] = {elements, lbound};
  sa.fFeatures = FADF_HAVEVARTYPE;
  if (vt == VT_BSTR) sa.fFeatures |= FADF_BSTR;
  if (vt == VT_UNKNOWN) sa.fFeatures |= FADF_UNKNOWN;
  if (vt == VT_DISPATCH) sa.fFeatures |= FADF_DISPATCH;
  if (vt == VT_VARIANT) sa.fFeatures |= FADF_VARIANT;
  return &sa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* sa) {
  if (!sa) return S_OK;
  if (sa->cLocks) return hr(0x8002000D);  // DISP_E_ARRAYISLOCKED
  ULONG n = sa->rgsabound[0].cElements;
  VARTYPE vt = blockOf(sa)->vt;
  for (ULONG i = 0; i < n; ++i) {
    if (vt == VT_BSTR) SysFreeString(static_cast<BSTR*>(sa->pvData)[i]);
    if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
      if (auto* p = static_cast<IUnknown**>(sa->pvData)[i]) p->Release();
    }
    if (vt == VT_VARIANT) VariantClear(&static_cast<VARIANT*>(sa->pvData)[i]);
  }
  std::free(sa->pvData);
  std::free(blockOf(sa));
  return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* sa, SAFEARRAY** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!sa) return S_OK;
  VARTYPE vt = blockOf(sa)->vt;
  SAFEARRAY* c = SafeArrayCreateVector(vt, sa->rgsabound[0].lLbound, sa->rgsabound[0].cElements);
  if (!c) return E_OUTOFMEMORY;
  ULONG n = sa->rgsabound[0].cElements;
  for (ULONG i = 0; i < n; ++i) {
    if (vt == VT_BSTR) {
      BSTR s = static_cast<BSTR*>(sa->pvData)[i];
      static_cast<BSTR*>(c->pvData)[i] = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
    } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
      auto* p = static_cast<IUnknown**>(sa->pvData)[i];
      if (p) p->AddRef();
      static_cast<IUnknown**>(c->pvData)[i] = p;
    } else if (vt == VT_VARIANT) {
      VariantCopy(&static_cast<VARIANT*>(c->pvData)[i], &static_cast<VARIANT*>(sa->pvData)[i]);
    }
  }
  if (vt != VT_BSTR && vt != VT_UNKNOWN && vt != VT_DISPATCH && vt != VT_VARIANT && n)
    std::memcpy(c->pvData, sa->pvData, static_cast<size_t>(n) * sa->cbElements);
  *out = c;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* sa, void** data) {
  if (!sa || !data) return E_INVALIDARG;
  ++sa->cLocks;
  *data = sa->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* sa) {
  if (!sa) return E_INVALIDARG;
  if (sa->cLocks == 0) return E_UNEXPECTED;
  --sa->cLocks;
  return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* sa, UINT dim, LONG* out) {
  if (!sa || !out) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *out = sa->rgsabound[0].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* sa, UINT dim, LONG* out) {
  if (!sa || !out) return E_INVALIDARG;
  if (dim != 1) return DISP_E_BADINDEX;
  *out = sa->rgsabound[0].lLbound + static_cast<LONG>(sa->rgsabound[0].cElements) - 1;
  return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* sa) { return sa ? sa->cDims : 0; }
UINT SafeArrayGetElemsize(SAFEARRAY* sa) { return sa ? sa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* sa, VARTYPE* vt) {
  if (!sa || !vt) return E_INVALIDARG;
  *vt = blockOf(sa)->vt;
  return S_OK;
}
