// A container's two halves for the persistence tests: the bytes an object saves to a
// memory stream, and given bytes loaded into an object.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "com/com.h"
#include "com/com_ptr.h"

namespace testhost {

inline std::vector<uint8_t> saved(IPersistStreamInit* object) {
  zr::com::ComPtr<IStream> s;
  EXPECT_EQ(CreateMemoryStream(s.put()), S_OK);
  EXPECT_EQ(object->Save(s.get(), TRUE), S_OK);
  ULONGLONG end = 0;
  s->Seek(0, STREAM_SEEK_END, &end);
  s->Seek(0, STREAM_SEEK_SET, nullptr);
  std::vector<uint8_t> out(static_cast<size_t>(end));
  ULONG got = 0;
  if (!out.empty()) s->Read(out.data(), static_cast<ULONG>(out.size()), &got);
  out.resize(got);
  return out;
}

inline HRESULT load(IPersistStreamInit* object, const std::vector<uint8_t>& bytes) {
  zr::com::ComPtr<IStream> s;
  CreateMemoryStream(s.put());
  s->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  s->Seek(0, STREAM_SEEK_SET, nullptr);
  return object->Load(s.get());
}

}  // namespace testhost
