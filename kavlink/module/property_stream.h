// The stream layout controls save their properties in: a 32-bit version, the extent cx and
// cy, then each property as a 16-bit variant type and its value, little-endian. A string
// is a 32-bit byte count including its terminating zero character, then the UTF-16 text
// and terminator; a null string is a count of 0 alone.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "com/com.h"
#include "com/com_ptr.h"
#include "com/object.h"

namespace kavlink {

class PropertyStreamWriter {
 public:
  PropertyStreamWriter(uint32_t version, uint32_t cx, uint32_t cy);
  void ui4(uint32_t v);
  void i4(int32_t v);
  void i1(int8_t v);
  void boolean(VARIANT_BOOL v);
  void bstr(BSTR s);
  // Writes everything at once; S_OK or the stream's failure.
  HRESULT writeTo(IStream* stream) const;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  void raw(const void* p, size_t n);
  void tag(VARTYPE vt);
  std::vector<uint8_t> bytes_;
};

// Reads the same layout. Each value is read by its own type tag and coerced to the type
// asked for (a container may have stored a property under a neighbouring type); every read
// throws zr::com::HResultError when the stream ends early, a tag is unknown or the value
// does not fit.
class PropertyStreamReader {
 public:
  explicit PropertyStreamReader(IStream* stream);
  uint32_t version() const { return version_; }
  uint32_t cx() const { return cx_; }
  uint32_t cy() const { return cy_; }
  uint32_t ui4();
  int32_t i4();
  int8_t i1();
  VARIANT_BOOL boolean();
  // A new BSTR (null for a null string); the caller frees it.
  BSTR bstr();

 private:
  void raw(void* p, size_t n);
  // The next value, coerced to vt.
  void next(VARTYPE vt, VARIANT& out);
  IStream* stream_;
  uint32_t version_ = 0, cx_ = 0, cy_ = 0;
};

// One property of a control's stream, saved through its get accessor and loaded through
// its put accessor, so a loaded value has the put's checks and side effects.
template <class C>
struct StreamProperty {
  HRESULT (*save)(C& control, PropertyStreamWriter& out);
  void (*load)(C& control, PropertyStreamReader& in);
};

namespace detail {
template <class M>
struct Accessor;
template <class C, class T>
struct Accessor<HRESULT (C::*)(T*)> {
  using Control = C;
  using Value = T;
};
}  // namespace detail

// The property behind Get and Put, held in the stream as Vt (VT_UI4, VT_I4, VT_I1, VT_BOOL
// or VT_BSTR), whatever type the accessors use.
template <VARTYPE Vt, auto Get, auto Put>
constexpr auto streamProperty() {
  using C = typename detail::Accessor<decltype(Get)>::Control;
  using T = typename detail::Accessor<decltype(Get)>::Value;
  static_assert(Vt == VT_UI4 || Vt == VT_I4 || Vt == VT_I1 || Vt == VT_BOOL || Vt == VT_BSTR);
  StreamProperty<C> p{};
  p.save = [](C& c, PropertyStreamWriter& out) -> HRESULT {
    if constexpr (Vt == VT_BSTR) {
      zr::com::Bstr v;
      HRESULT h = (c.*Get)(v.put());
      if (SUCCEEDED(h)) out.bstr(v.get());
      return h;
    } else {
      T v{};
      HRESULT h = (c.*Get)(&v);
      if (FAILED(h)) return h;
      if constexpr (Vt == VT_UI4) out.ui4(static_cast<uint32_t>(v));
      if constexpr (Vt == VT_I4) out.i4(static_cast<int32_t>(v));
      if constexpr (Vt == VT_I1) out.i1(static_cast<int8_t>(v));
      if constexpr (Vt == VT_BOOL) out.boolean(static_cast<VARIANT_BOOL>(v));
      return S_OK;
    }
  };
  p.load = [](C& c, PropertyStreamReader& in) {
    if constexpr (Vt == VT_BSTR) {
      zr::com::Bstr v = zr::com::Bstr::attach(in.bstr());
      (c.*Put)(v.get());
    } else if constexpr (Vt == VT_UI4) {
      (c.*Put)(static_cast<T>(in.ui4()));
    } else if constexpr (Vt == VT_I4) {
      (c.*Put)(static_cast<T>(in.i4()));
    } else if constexpr (Vt == VT_I1) {
      (c.*Put)(static_cast<T>(in.i1()));
    } else {
      (c.*Put)(static_cast<T>(in.boolean()));
    }
  };
  return p;
}

// IPersistStreamInit for a control whose stream is its extent and then the properties of
// Derived::streamProperties(), in that order. Save, Load and the size all walk that one
// list, so they cannot disagree. The control sets dirty_ when a saved setting changes.
template <class Derived>
class PersistStreamImpl : public IPersistStreamInit {
 public:
  static constexpr uint32_t kStreamVersion = 0x0E00;
  static constexpr uint32_t kNaturalExtent = 847;  // 32 x 32 pixels in HiMetric

  HRESULT GetClassID(CLSID* clsid) override { return zr::com::outValue(clsid, Derived::kClsid); }
  HRESULT IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
  HRESULT InitNew() override { return S_OK; }

  HRESULT Save(IStream* stream, BOOL clearDirty) override {
    if (!stream) return E_POINTER;
    PropertyStreamWriter out(kStreamVersion, extentX_, extentY_);
    HRESULT h = writeProperties(out);
    if (SUCCEEDED(h)) h = out.writeTo(stream);
    if (SUCCEEDED(h) && clearDirty) dirty_ = false;
    return h;
  }

  HRESULT Load(IStream* stream) override {
    if (!stream) return E_POINTER;
    return zr::com::guardCall(Derived::kProgId, [&]() -> HRESULT {
      PropertyStreamReader in(stream);
      if (in.version() > kStreamVersion) return E_FAIL;  // written by a newer control
      extentX_ = in.cx();
      extentY_ = in.cy();
      for (const StreamProperty<Derived>& p : Derived::streamProperties()) p.load(self(), in);
      dirty_ = false;
      return S_OK;
    });
  }

  // Exactly what Save would write now: the list written to memory.
  HRESULT GetSizeMax(ULONGLONG* size) override {
    if (!size) return E_POINTER;
    PropertyStreamWriter out(kStreamVersion, extentX_, extentY_);
    HRESULT h = writeProperties(out);
    if (SUCCEEDED(h)) *size = out.bytes().size();
    return h;
  }

 protected:
  bool dirty_ = false;

 private:
  Derived& self() { return static_cast<Derived&>(*this); }
  HRESULT writeProperties(PropertyStreamWriter& out) {
    for (const StreamProperty<Derived>& p : Derived::streamProperties()) {
      HRESULT h = p.save(self(), out);
      if (FAILED(h)) return h;
    }
    return S_OK;
  }

  uint32_t extentX_ = kNaturalExtent;
  uint32_t extentY_ = kNaturalExtent;
};

}  // namespace kavlink
