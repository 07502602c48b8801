// The component's class table: every coclass registers itself here from its own source
// file, and the module's exports (registration, class objects) walk the table.
//
//   KAVLINK_CLASS(CFrame645, "Frame645 Class");
//
// where CFrame645 declares kClsid, kProgId (versioned, u16 text), kViProgId
// (version-independent) and kAggregatable.
#pragma once

#include <string_view>
#include <vector>

#include "com/com.h"
#include "com/object.h"

namespace kavlink {

struct ClassEntry {
  CLSID clsid;
  std::u16string_view progId;
  std::u16string_view viProgId;
  const char* description;
  HRESULT (*getClassObject)(REFIID riid, void** ppv);
};

std::vector<ClassEntry>& classTable();
const ClassEntry* findClassEntry(REFCLSID clsid);

struct ClassRegistrar {
  explicit ClassRegistrar(const ClassEntry& e) { classTable().push_back(e); }
};

template <class T>
HRESULT getClassObjectOf(REFIID riid, void** ppv) {
  IClassFactory* f = zr::com::ClassFactory<T>::make();
  if (!f) return E_OUTOFMEMORY;
  HRESULT h = f->QueryInterface(riid, ppv);
  f->Release();
  return h;
}

// The type library's identity.
constexpr GUID kLibId = zr::com::guid("6C1F3A52-8E0B-4D2A-9C57-3B1E2D4A7F10");

}  // namespace kavlink

#define KAVLINK_CLASS_CAT2(a, b) a##b
#define KAVLINK_CLASS_CAT(a, b) KAVLINK_CLASS_CAT2(a, b)
#define KAVLINK_CLASS(T, description)                                                                           \
  static const ::kavlink::ClassRegistrar KAVLINK_CLASS_CAT(kavlinkClassRegistrar_, __LINE__) {                  \
    ::kavlink::ClassEntry { T::kClsid, T::kProgId, T::kViProgId, description, &::kavlink::getClassObjectOf<T> } \
  }
