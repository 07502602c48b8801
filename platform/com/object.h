// The base of every COM object: reference counting, QueryInterface over a list of
// interfaces, aggregation, error reporting at the interface, and a class factory.
//
//   class CFoo : public ComObject<CFoo, DispatchImpl<CFoo, IFoo>, SupportErrorInfoImpl> {...};
//
// QueryInterface answers IUnknown (the object's identity) and every interface in the list
// together with the interfaces each derives from (IDispatch for a dual interface; the
// first listed one wins). Each listed type must derive from its interface alone, so that
// the interface sits at the start of it. When
// the object is aggregated, its interfaces' IUnknown methods delegate to the outer object
// and only the inner unknown (returned to the outer at creation) controls the lifetime.
#pragma once

#include <atomic>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include "com/com.h"
#include "com/com_ptr.h"
#include "text/ansi.h"

namespace zr::com {

// Objects alive in this module; hidden per module, so DllCanUnloadNow of a module counts
// only its own objects.
inline std::atomic<long>& liveObjects() {
  static std::atomic<long> count{0};
  return count;
}

// Thrown by internal code: the text becomes the COM error's description.
class ComError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown by internal code to return a bare result code (E_INVALIDARG ...).
class HResultError : public std::exception {
 public:
  explicit HResultError(HRESULT h) : hr_(h) {}
  HRESULT code() const { return hr_; }
  const char* what() const noexcept override { return "HRESULT failure"; }

 private:
  HRESULT hr_;
};

// Stores a property or result value through an out-pointer: E_POINTER when there is none.
template <class T, class V>
HRESULT outValue(T* out, const V& v) {
  if (!out) return E_POINTER;
  *out = v;
  return S_OK;
}

// Sets the thread's error info (description, source ProgID, null interface id) and
// returns DISP_E_EXCEPTION.
HRESULT reportError(std::u16string_view source, std::string_view narrowText);

// Runs f (returning HRESULT or void) and turns exceptions into results: ComError and
// other std::exceptions into DISP_E_EXCEPTION with error info from `source`,
// HResultError into its code, bad_alloc into E_OUTOFMEMORY.
template <class F>
HRESULT guardCall(std::u16string_view source, F&& f) noexcept {
  try {
    if constexpr (std::is_void_v<decltype(f())>) {
      f();
      return S_OK;
    } else {
      return f();
    }
  } catch (const HResultError& e) {
    return e.code();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    return reportError(source, e.what());
  } catch (...) {
    return reportError(source, "Unknown error");
  }
}

namespace detail {
template <class I>
bool iidInChain(REFIID riid) {
  if (riid == I::iid) return true;
  if constexpr (requires { typename I::Base; }) {
    if constexpr (!std::is_same_v<typename I::Base, IUnknown>) return iidInChain<typename I::Base>(riid);
  }
  return false;
}
}  // namespace detail

// A plain object behind one interface (and those it derives from): no aggregation, one
// reference for its maker, deleted with its last reference.
template <class Derived, class I>
class SimpleObject : public I {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IUnknown::iid || detail::iidInChain<I>(riid)) {
      *ppv = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG n = --refs_;
    if (n == 0) delete static_cast<Derived*>(this);
    return n;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

template <class Derived, class... Itfs>
class ComObject : public Itfs... {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override { return outer_->QueryInterface(riid, ppv); }
  ULONG AddRef() override { return outer_->AddRef(); }
  ULONG Release() override { return outer_->Release(); }

  // The unknown that controls this object's own lifetime (the identity when not aggregated).
  IUnknown* innerUnknown() { return &inner_; }
  // The unknown that identifies the whole object (the outer one when aggregated).
  IUnknown* controllingUnknown() { return outer_; }
  bool isAggregated() const { return outer_ != &inner_; }

  // Makes an object and asks it for riid. With an outer unknown (aggregation) riid must
  // be IUnknown and the inner unknown is returned.
  template <class... A>
  static HRESULT createInstance(IUnknown* outer, REFIID riid, void** ppv, A&&... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && riid != IUnknown::iid) return CLASS_E_NOAGGREGATION;
    Derived* obj = nullptr;
    try {
      obj = new Derived(std::forward<A>(args)...);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (const HResultError& e) {
      return e.code();
    } catch (const std::exception& e) {
      return reportError(u"", e.what());
    }
    if (outer) obj->outer_ = outer;
    obj->inner_.AddRef();
    HRESULT h = static_cast<ComObject*>(obj)->finalConstruct();
    if (SUCCEEDED(h)) h = obj->inner_.QueryInterface(riid, ppv);
    obj->inner_.Release();
    return h;
  }

  // Makes an object for internal use; the caller owns one reference (nullptr on failure).
  template <class... A>
  static Derived* create(A&&... args) {
    Derived* out = nullptr;
    void* pv = nullptr;
    if (SUCCEEDED(createInstance(nullptr, IUnknown::iid, &pv, std::forward<A>(args)...))) {
      out = static_cast<Derived*>(static_cast<Inner*>(static_cast<IUnknown*>(pv))->self);
    }
    return out;
  }

 protected:
  ComObject() : inner_(this) { ++liveObjects(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;
  virtual ~ComObject() { --liveObjects(); }

  // Runs after the object is fully made (and knows its outer unknown); a failure ends it.
  virtual HRESULT finalConstruct() { return S_OK; }
  // Interfaces that are not in the list (tear-offs, connection points); nullptr if none.
  virtual void* queryExtra(REFIID) { return nullptr; }

  // The error source of this class's COM errors: its ProgID.
  static std::u16string_view errorSource() {
    if constexpr (requires { Derived::kProgId; }) {
      return Derived::kProgId;
    } else {
      return u"";
    }
  }
  // Runs an interface method body; see guardCall.
  template <class F>
  HRESULT guard(F&& f) noexcept {
    return guardCall(errorSource(), std::forward<F>(f));
  }
  HRESULT fail(std::string_view narrowText) { return reportError(errorSource(), narrowText); }

 private:
  struct Inner final : IUnknown {
    explicit Inner(ComObject* o) : self(o) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
      if (!ppv) return E_POINTER;
      *ppv = nullptr;
      if (riid == IUnknown::iid) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      void* found = self->findInterface(riid);
      if (!found) found = self->findImplementation(riid);
      if (!found) found = self->queryExtra(riid);
      if (!found) return E_NOINTERFACE;
      *ppv = found;
      self->AddRef();  // through the controlling unknown
      return S_OK;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
      ULONG n = --refs;
      if (n == 0) {
        refs = 1;  // guards against re-entry while the object is taken down
        delete self;
      }
      return n;
    }
    ComObject* self;
    std::atomic<ULONG> refs{0};
  };

  void* findInterface(REFIID riid) {
    void* found = nullptr;
    ((found == nullptr && detail::iidInChain<Itfs>(riid) ? (found = static_cast<void*>(static_cast<Itfs*>(this)), 0)
                                                         : 0),
     ...);
    return found;
  }

  void* findImplementation(REFIID riid) {
    if constexpr (requires { Derived::kImplementationIid; }) {
      if (riid == Derived::kImplementationIid) return static_cast<Derived*>(this);
    }
    return nullptr;
  }

  Inner inner_;
  IUnknown* outer_ = &inner_;
};

namespace detail {
// An id no object of ours answers: an object that says yes to it says yes to anything.
inline constexpr IID kNoSuchInterface = guid("c3fa412b-5920-4405-8240-5602a8a64bd1");
}  // namespace detail

// The C++ object behind an interface, when the object is a T of this component (made by this
// copy of the module or by another loaded copy), holding a reference; empty for any other
// object. T names a private id, kImplementationIid, that only its own QueryInterface answers:
// an interface id is the same in two loaded copies of a module, where a dynamic_cast would
// rest on how the C++ runtime happens to compare their type information.
template <class T>
ComPtr<T> implementationOf(IUnknown* p) {
  if (!p) return {};
  void* found = nullptr;
  if (FAILED(p->QueryInterface(T::kImplementationIid, &found)) || !found) return {};
  void* any = nullptr;
  if (SUCCEEDED(p->QueryInterface(detail::kNoSuchInterface, &any))) {
    // What such an object hands out for either id is at best one of its own interfaces.
    if (any) static_cast<IUnknown*>(any)->Release();
    static_cast<IUnknown*>(found)->Release();
    return {};
  }
  return ComPtr<T>::attach(static_cast<T*>(found));
}

// The class factory of a class made by ComObject::createInstance.
template <class T>
class ClassFactory final : public SimpleObject<ClassFactory<T>, IClassFactory> {
 public:
  static IClassFactory* make() { return new (std::nothrow) ClassFactory(); }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer && !T::kAggregatable) {
      if (ppv) *ppv = nullptr;
      return CLASS_E_NOAGGREGATION;
    }
    return T::createInstance(outer, riid, ppv);
  }
  HRESULT LockServer(BOOL lock) override {
    if (lock) {
      ++liveObjects();
    } else {
      --liveObjects();
    }
    return S_OK;
  }

 private:
  friend class SimpleObject<ClassFactory<T>, IClassFactory>;
  ClassFactory() { ++liveObjects(); }
  ~ClassFactory() { --liveObjects(); }
};

// Every error of every interface is described by the thread's error info.
struct SupportErrorInfoImpl : ISupportErrorInfo {
  HRESULT InterfaceSupportsErrorInfo(REFIID) override { return S_OK; }
};

}  // namespace zr::com
