// A growable stream in memory, the stand-in for a stream on global memory.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <vector>

#include "com/com.h"
#include "com/object.h"

namespace {

class MemoryStream final : public zr::com::SimpleObject<MemoryStream, IStream> {
 public:
  HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
    if (!buffer && size) return STG_E_INVALIDPOINTER;
    size_t avail = pos_ < data_.size() ? data_.size() - pos_ : 0;
    size_t n = std::min<size_t>(size, avail);
    if (n) std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    if (read) *read = static_cast<ULONG>(n);
    // Like a stream on memory: a short read is not an error; callers compare the count.
    return n == size ? S_OK : S_FALSE;
  }
  HRESULT Write(const void* buffer, ULONG size, ULONG* written) override {
    if (!buffer && size) return STG_E_INVALIDPOINTER;
    try {
      if (pos_ + size > data_.size()) data_.resize(pos_ + size);
    } catch (const std::bad_alloc&) {
      if (written) *written = 0;
      return STG_E_MEDIUMFULL;
    }
    if (size) std::memcpy(data_.data() + pos_, buffer, size);
    pos_ += size;
    if (written) *written = size;
    return S_OK;
  }
  HRESULT Seek(LONGLONG move, DWORD origin, ULONGLONG* newPosition) override {
    long long base = 0;
    switch (origin) {
      case STREAM_SEEK_SET:
        base = 0;
        break;
      case STREAM_SEEK_CUR:
        base = static_cast<long long>(pos_);
        break;
      case STREAM_SEEK_END:
        base = static_cast<long long>(data_.size());
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    long long target = base + move;
    if (target < 0) return STG_E_INVALIDFUNCTION;
    pos_ = static_cast<size_t>(target);
    if (newPosition) *newPosition = pos_;
    return S_OK;
  }
  HRESULT SetSize(ULONGLONG size) override {
    try {
      data_.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
      return STG_E_MEDIUMFULL;
    }
    return S_OK;
  }
  HRESULT CopyTo(IStream* dest, ULONGLONG size, ULONGLONG* read, ULONGLONG* written) override {
    if (!dest) return STG_E_INVALIDPOINTER;
    size_t avail = pos_ < data_.size() ? data_.size() - pos_ : 0;
    size_t n = static_cast<size_t>(std::min<ULONGLONG>(size, avail));
    ULONG w = 0;
    HRESULT h = dest->Write(data_.data() + pos_, static_cast<ULONG>(n), &w);
    pos_ += n;
    if (read) *read = n;
    if (written) *written = w;
    return h;
  }
  HRESULT Commit(DWORD) override { return S_OK; }
  HRESULT Revert() override { return S_OK; }
  HRESULT LockRegion(ULONGLONG, ULONGLONG, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT UnlockRegion(ULONGLONG, ULONGLONG, DWORD) override { return STG_E_INVALIDFUNCTION; }
  HRESULT Stat(STATSTG* stat, DWORD) override {
    if (!stat) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{nullptr, 2, data_.size()};
    return S_OK;
  }
  HRESULT Clone(IStream** clone) override {
    if (!clone) return STG_E_INVALIDPOINTER;
    auto* c = new (std::nothrow) MemoryStream();
    if (!c) return E_OUTOFMEMORY;
    c->data_ = data_;
    c->pos_ = pos_;
    *clone = c;
    return S_OK;
  }

 private:
  std::vector<unsigned char> data_;
  size_t pos_ = 0;
};

}  // namespace

HRESULT CreateMemoryStream(IStream** stream) {
  if (!stream) return E_POINTER;
  *stream = new (std::nothrow) MemoryStream();
  return *stream ? S_OK : E_OUTOFMEMORY;
}
