// The property stream Load of each persistent object over arbitrary stream bytes. Whatever
// Load made of them, what the object saves loads back to the same state: Save, Load, Save
// gives the same bytes twice.
#include <vector>

#include "fuzz_check.h"
#include "fuzz_objects.h"
#include "kavlink/zr_comm_dlt645.h"
#include "kavlink/zr_iec62056_21.h"
#include "kavlink/zr_serial.h"

using namespace kavlink;
using zr::com::ComPtr;

namespace {

ComPtr<IStream> streamOf(const uint8_t* data, size_t size) {
  ComPtr<IStream> s;
  FUZZ_CHECK(SUCCEEDED(CreateMemoryStream(s.put())));
  ULONG written = 0;
  if (size) FUZZ_CHECK(s->Write(data, static_cast<ULONG>(size), &written) == S_OK && written == size);
  FUZZ_CHECK(s->Seek(0, STREAM_SEEK_SET, nullptr) == S_OK);
  return s;
}

std::vector<uint8_t> saved(IPersistStreamInit* p) {
  ComPtr<IStream> s = streamOf(nullptr, 0);
  FUZZ_CHECK(p->Save(s.get(), TRUE) == S_OK);
  FUZZ_CHECK(p->IsDirty() == S_FALSE);
  ULONGLONG end = 0;
  FUZZ_CHECK(s->Seek(0, STREAM_SEEK_CUR, &end) == S_OK);
  ULONGLONG max = 0;
  FUZZ_CHECK(p->GetSizeMax(&max) == S_OK && end <= max);
  std::vector<uint8_t> bytes(static_cast<size_t>(end));
  FUZZ_CHECK(s->Seek(0, STREAM_SEEK_SET, nullptr) == S_OK);
  ULONG got = 0;
  if (!bytes.empty()) FUZZ_CHECK(s->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got) == S_OK);
  FUZZ_CHECK(got == bytes.size());
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  static const CLSID classes[] = {CLSID_ZrSerial, CLSID_ZrCommDLT645, CLSID_ZrIEC62056_21};
  const CLSID& clsid = classes[data[0] % std::size(classes)];
  ComPtr<IPersistStreamInit> p = fuzzsupport::createObject<IPersistStreamInit>(clsid);
  FUZZ_CHECK(p);
  ComPtr<IStream> in = streamOf(data + 1, size - 1);
  (void)p->Load(in.get());

  const std::vector<uint8_t> first = saved(p.get());
  ComPtr<IPersistStreamInit> q = fuzzsupport::createObject<IPersistStreamInit>(clsid);
  ComPtr<IStream> back = streamOf(first.data(), first.size());
  FUZZ_CHECK(q->Load(back.get()) == S_OK);
  FUZZ_CHECK(saved(q.get()) == first);
  return 0;
}
