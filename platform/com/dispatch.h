// Table-driven IDispatch: one table per interface lists its members; GetIDsOfNames and
// Invoke are generic over it, with argument coercion by VariantChangeType.
//
//   template <> const DispTable& zr::com::dispatchTable<IFrame645>() {   // at global scope
//     static const DispTable t{{
//         propGet<&IFrame645::get_Address>(u"Address", 1),
//         propPut<&IFrame645::put_Address>(u"Address", 1),
//         method<&IFrame645::FromBuffer>(u"FromBuffer", 13),
//     }};
//     return t;
//   }
//
// Argument kinds are read from the member's C++ signature: numbers, enums, BSTR, VARIANT
// and interface pointers are in-arguments; a pointer to one of those (or an interface
// pointer's address) is an out-argument. The last out-argument of a method or property
// get is its [out, retval]; other out-arguments are passed by reference (VT_BYREF).
#pragma once

#include <cstring>
#include <initializer_list>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "com/com.h"

namespace zr::com {

class DispTable {
 public:
  using Thunk = HRESULT (*)(void* itf, DISPPARAMS* params, VARIANT* result, UINT* argErr);
  struct Member {
    std::u16string_view name;
    DISPID id;
    WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    Thunk thunk;
  };

  DispTable(std::initializer_list<Member> members) : members_(members) {}

  HRESULT getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
  // itf is the interface pointer the members were taken from (static_cast<I*>(object)).
  HRESULT invoke(void* itf, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                 UINT* argErr) const;
  const std::vector<Member>& members() const { return members_; }

 private:
  std::vector<Member> members_;
};

// Defined once per interface, next to the class that implements it.
template <class I>
const DispTable& dispatchTable();

namespace disp {

template <class T>
constexpr bool isInterfacePtr = std::is_pointer_v<T>&& std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>;

template <class T>
constexpr bool isValue = std::is_arithmetic_v<T> || std::is_enum_v<T> || std::is_same_v<T, BSTR> ||
                         std::is_same_v<T, VARIANT> || isInterfacePtr<T>;

template <class T>
constexpr bool isOut =
    std::is_pointer_v<T> && !std::is_same_v<T, BSTR> && !isInterfacePtr<T> && isValue<std::remove_pointer_t<T>>;

// The VARIANT type that carries a C++ value type.
template <class T>
constexpr VARTYPE vtOf() {
  if constexpr (std::is_same_v<T, BSTR>)
    return VT_BSTR;
  else if constexpr (std::is_same_v<T, VARIANT>)
    return VT_VARIANT;
  else if constexpr (isInterfacePtr<T>) {
    if constexpr (std::is_base_of_v<IDispatch, std::remove_pointer_t<T>>)
      return VT_DISPATCH;
    else
      return VT_UNKNOWN;
  } else if constexpr (std::is_enum_v<T>)
    return VT_I4;
  else if constexpr (std::is_same_v<T, bool>)
    return VT_BOOL;
  else if constexpr (std::is_same_v<T, VARIANT_BOOL>)
    return VT_BOOL;
  else if constexpr (std::is_same_v<T, float>)
    return VT_R4;
  else if constexpr (std::is_same_v<T, double>)
    return VT_R8;
  else if constexpr (std::is_same_v<T, PTRBUF>)
    return VT_UI8;
  else if constexpr (std::is_same_v<T, char>)
    return VT_I1;
  else if constexpr (std::is_same_v<T, BYTE>)
    return VT_UI1;
  else if constexpr (std::is_same_v<T, USHORT>)
    return VT_UI2;
  else if constexpr (std::is_same_v<T, ULONG>)
    return VT_UI4;
  else if constexpr (std::is_same_v<T, LONGLONG>)
    return VT_I8;
  else if constexpr (std::is_same_v<T, ULONGLONG>)
    return VT_UI8;
  else if constexpr (std::is_same_v<T, LONG>)
    return VT_I4;
  else {
    static_assert(sizeof(T) == 0, "type cannot cross IDispatch");
    return VT_EMPTY;
  }
}

// Reads an in-argument from a VARIANT (by value or VT_BYREF). The BSTR and interface
// pointers stay owned by the VARIANT; a VARIANT argument is copied into `holder`.
HRESULT readArg(const VARIANT& v, VARTYPE vt, VARIANT& holder);
HRESULT readInterfaceArg(const VARIANT& v, REFIID iid, IUnknown** out);
HRESULT readPtrBuf(const VARIANT& v, PTRBUF* out);

// Writes a C++ out-value into a VARIANT result (taking ownership of BSTR and references).
template <class T>
void writeResult(VARIANT* r, T& value) {
  VariantInit(r);
  constexpr VARTYPE vt = vtOf<T>();
  r->vt = vt;
  if constexpr (std::is_same_v<T, BSTR>)
    r->bstrVal = value;
  else if constexpr (std::is_same_v<T, VARIANT>)
    *r = value;
  else if constexpr (isInterfacePtr<T>) {
    if constexpr (vt == VT_DISPATCH)
      r->pdispVal = static_cast<IDispatch*>(value);
    else
      r->punkVal = static_cast<IUnknown*>(value);
  } else if constexpr (std::is_enum_v<T>)
    r->lVal = static_cast<LONG>(value);
  else if constexpr (std::is_same_v<T, bool>)
    r->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  else if constexpr (std::is_same_v<T, VARIANT_BOOL>)
    r->boolVal = value;
  else if constexpr (std::is_same_v<T, float>)
    r->fltVal = value;
  else if constexpr (std::is_same_v<T, double>)
    r->dblVal = value;
  else if constexpr (std::is_same_v<T, PTRBUF>)
    r->ullVal = value;
  else if constexpr (std::is_same_v<T, char>)
    r->cVal = value;
  else if constexpr (std::is_same_v<T, BYTE>)
    r->bVal = value;
  else if constexpr (std::is_same_v<T, USHORT>)
    r->uiVal = value;
  else if constexpr (std::is_same_v<T, ULONG>)
    r->ulVal = value;
  else if constexpr (std::is_same_v<T, LONGLONG>)
    r->llVal = value;
  else if constexpr (std::is_same_v<T, ULONGLONG>)
    r->ullVal = value;
  else
    r->lVal = value;
}

// One argument slot of a call: holds the converted value while the member runs.
template <class T>
struct ArgSlot {
  T value{};
  VARIANT holder;
  ArgSlot() { VariantInit(&holder); }
  ~ArgSlot() {
    if constexpr (isInterfacePtr<T>) {
      if (value) value->Release();
    }
    VariantClear(&holder);
  }
  ArgSlot(const ArgSlot&) = delete;
  ArgSlot& operator=(const ArgSlot&) = delete;

  HRESULT load(const VARIANT& v) {
    if constexpr (isInterfacePtr<T>) {
      IUnknown* p = nullptr;
      HRESULT h = readInterfaceArg(v, std::remove_pointer_t<T>::iid, &p);
      value = static_cast<T>(p);
      return h;
    } else if constexpr (std::is_same_v<T, PTRBUF>) {
      return readPtrBuf(v, &value);
    } else {
      HRESULT h = readArg(v, vtOf<T>(), holder);
      if (FAILED(h)) return h;
      if constexpr (std::is_same_v<T, BSTR>)
        value = holder.bstrVal;
      else if constexpr (std::is_same_v<T, VARIANT>)
        value = holder;
      else if constexpr (std::is_enum_v<T>)
        value = static_cast<T>(holder.lVal);
      else if constexpr (std::is_same_v<T, bool>)
        value = holder.boolVal != 0;
      else if constexpr (std::is_same_v<T, VARIANT_BOOL>)
        value = holder.boolVal;
      else if constexpr (std::is_same_v<T, float>)
        value = holder.fltVal;
      else if constexpr (std::is_same_v<T, double>)
        value = holder.dblVal;
      else if constexpr (std::is_same_v<T, char>)
        value = holder.cVal;
      else if constexpr (std::is_same_v<T, BYTE>)
        value = holder.bVal;
      else if constexpr (std::is_same_v<T, USHORT>)
        value = holder.uiVal;
      else if constexpr (std::is_same_v<T, ULONG>)
        value = holder.ulVal;
      else if constexpr (std::is_same_v<T, LONGLONG>)
        value = holder.llVal;
      else if constexpr (std::is_same_v<T, ULONGLONG>)
        value = holder.ullVal;
      else
        value = holder.lVal;
      return S_OK;
    }
  }
};

// An out-argument that is not the retval: the caller passes a VT_BYREF VARIANT and the
// member works on the caller's storage in place, so [in, out] arguments see the value the
// caller put there (as with a direct call). Scripting hosts pass a reference to a VARIANT
// of their own instead (VT_BYREF|VT_VARIANT, holding anything): the member then works on a
// value converted from it, and on success the VARIANT receives the result.
template <class T>
struct OutSlot {
  T* value = nullptr;
  T local{};
  VARIANT* boxed = nullptr;
  OutSlot() = default;
  OutSlot(const OutSlot&) = delete;
  OutSlot& operator=(const OutSlot&) = delete;
  ~OutSlot() {
    if (boxed) dropLocal();
  }

  HRESULT load(VARIANT& v) {
    constexpr VARTYPE vt = vtOf<T>();
    if (!(v.vt & VT_BYREF) || !v.byref) return DISP_E_TYPEMISMATCH;
    if (vt != VT_VARIANT && v.vt == (VT_BYREF | VT_VARIANT)) return loadBoxed(*v.pvarVal);
    if ((v.vt & ~VT_BYREF) != vt) return DISP_E_TYPEMISMATCH;
    value = static_cast<T*>(v.byref);
    return S_OK;
  }

  // Hands the member's value to the caller's VARIANT (after a successful call).
  void store() {
    if (!boxed) return;
    VariantClear(boxed);
    writeResult(boxed, local);
    local = T{};
    boxed = nullptr;
  }

 private:
  // One level of reference only: a VARIANT that refers on again is refused, so a
  // reference to itself or a chain cannot be followed without end.
  HRESULT loadBoxed(VARIANT& inner) {
    constexpr VARTYPE vt = vtOf<T>();
    if (inner.vt & VT_BYREF) {
      if (inner.vt != (VT_BYREF | vt) || !inner.byref) return DISP_E_TYPEMISMATCH;
      value = static_cast<T*>(inner.byref);
      return S_OK;
    }
    ArgSlot<T> in;
    // The caller's value goes in where it converts; what cannot is replaced anyway.
    if (inner.vt != VT_EMPTY && SUCCEEDED(in.load(inner))) {
      if constexpr (std::is_same_v<T, BSTR>) {
        local = in.holder.bstrVal;
        in.holder.vt = VT_EMPTY;
      } else if constexpr (isInterfacePtr<T>) {
        local = in.value;
        in.value = nullptr;
      } else {
        local = in.value;
      }
    }
    boxed = &inner;
    value = &local;
    return S_OK;
  }

  void dropLocal() {
    if constexpr (std::is_same_v<T, BSTR>)
      SysFreeString(local);
    else if constexpr (isInterfacePtr<T>) {
      if (local) local->Release();
    }
    local = T{};
  }
};

// The retval: a value the member fills, handed to the caller's result VARIANT.
template <class T>
struct RetvalSlot {
  T value{};
};

template <auto Fn>
struct MemberTraits;
template <class C, class... A, HRESULT (C::*Fn)(A...)>
struct MemberTraits<Fn> {
  using Class = C;
  using Args = std::tuple<A...>;
  static constexpr size_t arity = sizeof...(A);
};

template <class T, bool Retval>
struct SlotFor {
  using type = ArgSlot<T>;
};
template <class T, bool Retval>
requires isOut<T>
struct SlotFor<T, Retval> {
  using type = std::conditional_t<Retval, RetvalSlot<std::remove_pointer_t<T>>, OutSlot<std::remove_pointer_t<T>>>;
};

template <auto Fn, bool HasRetval>
HRESULT invokeMember(void* itf, DISPPARAMS* params, VARIANT* result, UINT* argErr) {
  using Traits = MemberTraits<Fn>;
  using C = typename Traits::Class;
  using Args = typename Traits::Args;
  constexpr size_t n = Traits::arity;
  constexpr size_t nIn = HasRetval ? n - 1 : n;
  if (params->cArgs != nIn) return DISP_E_BADPARAMCOUNT;

  return [&]<size_t... I>(std::index_sequence<I...>)->HRESULT {
    std::tuple<typename SlotFor<std::tuple_element_t<I, Args>, HasRetval && I == n - 1>::type...> slots;
    // rgvarg holds the arguments in reverse order.
    HRESULT h = S_OK;
    size_t failedAt = 0;
    [[maybe_unused]] auto loadOne = [&]<size_t K>() {
      if constexpr (K < nIn) {
        if (SUCCEEDED(h)) {
          h = std::get<K>(slots).load(params->rgvarg[nIn - 1 - K]);
          if (FAILED(h)) failedAt = nIn - 1 - K;
        }
      }
    };
    (loadOne.template operator()<I>(), ...);
    if (FAILED(h)) {
      if (argErr) *argErr = static_cast<UINT>(failedAt);
      return h == DISP_E_OVERFLOW ? DISP_E_TYPEMISMATCH : h;
    }
    [[maybe_unused]] auto argOf = [&]<size_t K>() -> decltype(auto) {
      using T = std::tuple_element_t<K, Args>;
      if constexpr (isOut<T> && HasRetval && K == n - 1)
        return &std::get<K>(slots).value;
      else
        return std::get<K>(slots).value;
    };
    C* obj = static_cast<C*>(itf);
    h = (obj->*Fn)(argOf.template operator()<I>()...);
    if (FAILED(h)) return h;
    [[maybe_unused]] auto storeOne = [&]<size_t K>() {
      if constexpr (requires { std::get<K>(slots).store(); }) std::get<K>(slots).store();
    };
    (storeOne.template operator()<I>(), ...);
    if constexpr (HasRetval) {
      auto& slot = std::get<n - 1>(slots);
      if (result) {
        VariantClear(result);
        writeResult(result, slot.value);
      } else {
        VARIANT discard;
        writeResult(&discard, slot.value);
        VariantClear(&discard);
      }
    }
    return h;
  }
  (std::make_index_sequence<n>{});
}

template <auto Fn>
constexpr bool lastIsOut() {
  using Traits = MemberTraits<Fn>;
  if constexpr (Traits::arity == 0)
    return false;
  else
    return isOut<std::tuple_element_t<Traits::arity - 1, typename Traits::Args>>;
}

}  // namespace disp

template <auto Fn>
DispTable::Member method(std::u16string_view name, DISPID id) {
  return {name, id, DISPATCH_METHOD, &disp::invokeMember<Fn, disp::lastIsOut<Fn>()>};
}
template <auto Fn>
DispTable::Member propGet(std::u16string_view name, DISPID id) {
  static_assert(disp::lastIsOut<Fn>(), "a property get returns its value through its last argument");
  return {name, id, DISPATCH_PROPERTYGET, &disp::invokeMember<Fn, true>};
}
template <auto Fn>
DispTable::Member propPut(std::u16string_view name, DISPID id) {
  return {name, id, DISPATCH_PROPERTYPUT, &disp::invokeMember<Fn, false>};
}

// Implements IDispatch of interface I for class Derived from dispatchTable<I>().
template <class Derived, class I>
class DispatchImpl : public I {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return dispatchTable<I>().getIDsOfNames(names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                 UINT* argErr) override {
    return dispatchTable<I>().invoke(static_cast<I*>(static_cast<Derived*>(this)), id, flags, params, result, excep,
                                     argErr);
  }
};

// Calls IDispatch::Invoke with plain C++ arguments (in order); for hosts and tests.
HRESULT invokeByName(IDispatch* d, std::u16string_view name, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                     EXCEPINFO* excep = nullptr);
HRESULT invokeById(IDispatch* d, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
                   EXCEPINFO* excep = nullptr);

// Small VARIANT makers for such calls (the VARIANT borrows nothing: BSTRs are new).
VARIANT varI4(LONG v);
VARIANT varUI1(BYTE v);
VARIANT varBool(bool v);
VARIANT varBstr(std::u16string_view s);
VARIANT varR8(double v);
VARIANT varPtr(const void* p);
VARIANT varDispatch(IDispatch* d);  // takes a new reference

}  // namespace zr::com
