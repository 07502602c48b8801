// Objects of the component made in-process through their class factories, as a host gets
// them, and small helpers the targets share.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "com/com.h"
#include "com/com_ptr.h"
#include "module/class_table.h"

namespace fuzzsupport {

template <class I>
zr::com::ComPtr<I> createObject(REFCLSID clsid) {
  static const bool initialised = [] {
    CoInitialize(nullptr);
    return true;
  }();
  (void)initialised;
  zr::com::ComPtr<I> object;
  const kavlink::ClassEntry* entry = kavlink::findClassEntry(clsid);
  if (!entry) return object;
  zr::com::ComPtr<IClassFactory> factory;
  if (FAILED(entry->getClassObject(IClassFactory::iid, factory.putVoid()))) return object;
  factory->CreateInstance(nullptr, I::iid, object.putVoid());
  return object;
}

// UTF-16 text of up to maxUnits units, any values (lone surrogates and zeros included).
inline std::u16string consumeWide(FuzzedDataProvider& in, size_t maxUnits) {
  const size_t n = in.ConsumeIntegralInRange<size_t>(0, maxUnits);
  std::u16string s;
  for (size_t i = 0; i < n && in.remaining_bytes() > 0; ++i) s.push_back(in.ConsumeIntegral<char16_t>());
  return s;
}

}  // namespace fuzzsupport
