// A reference-holding pointer to a COM interface.
#pragma once

#include <utility>

#include "com/com.h"

namespace zr::com {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on p.
  ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ~ComPtr() { reset(); }
  ComPtr& operator=(const ComPtr& o) {
    ComPtr(o).swap(*this);
    return *this;
  }
  ComPtr& operator=(ComPtr&& o) noexcept {
    ComPtr(std::move(o)).swap(*this);
    return *this;
  }
  ComPtr& operator=(T* p) {
    ComPtr(p).swap(*this);
    return *this;
  }

  // Adopts a reference the caller already owns.
  static ComPtr attach(T* p) {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  T* detach() { return std::exchange(p_, nullptr); }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases the current pointer and returns its address.
  T** put() {
    reset();
    return &p_;
  }
  void** putVoid() { return reinterpret_cast<void**>(put()); }

  template <class U>
  ComPtr<U> as() const {
    ComPtr<U> r;
    if (p_) p_->QueryInterface(iidOf<U>(), r.putVoid());
    return r;
  }

 private:
  T* p_ = nullptr;
};

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view s) : s_(allocBstr(s)) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& o) noexcept : s_(std::exchange(o.s_, nullptr)) {}
  Bstr& operator=(Bstr&& o) noexcept {
    std::swap(s_, o.s_);
    return *this;
  }
  ~Bstr() { SysFreeString(s_); }
  static Bstr attach(BSTR s) {
    Bstr b;
    b.s_ = s;
    return b;
  }
  BSTR get() const { return s_; }
  BSTR* put() {
    SysFreeString(std::exchange(s_, nullptr));
    return &s_;
  }
  BSTR detach() { return std::exchange(s_, nullptr); }
  std::u16string_view view() const { return bstrView(s_); }
  std::u16string str() const { return std::u16string(view()); }
  bool isNull() const { return s_ == nullptr; }

 private:
  BSTR s_ = nullptr;
};

// Owns a VARIANT.
class Variant : public VARIANT {
 public:
  Variant() { VariantInit(this); }
  Variant(const Variant& o) {
    VariantInit(this);
    VariantCopy(this, &o);
  }
  Variant& operator=(const Variant& o) {
    if (this != &o) VariantCopy(this, &o);
    return *this;
  }
  ~Variant() { VariantClear(this); }
};

}  // namespace zr::com
