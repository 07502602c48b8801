#include "dlt645/frame645_codec.h"

#include <cstring>

#include "engines/hex_text.h"

namespace kavlink {

void setFrameAddress(Frame645Data& f, const std::string& narrow) {
  char area[12] = {};
  std::memcpy(area, narrow.data(), std::min<size_t>(narrow.size(), 12));
  size_t n = 0;
  while (n < 12 && area[n] != 0) ++n;
  // Right-align what is there and pad the left with '0' (12345 -> 000000012345).
  for (size_t i = 0; i < 12; ++i) f.address[i] = '0';
  for (size_t i = 0; i < n; ++i) f.address[12 - n + i] = area[i];
}

int32_t serializeFrame(const Frame645Data& f, uint8_t* out) {
  size_t p = 0;
  for (int i = 0; i < f.prefixCount; ++i) out[p++] = f.prefixChar;
  size_t start = p;
  out[p++] = 0x68;
  for (int k = 0; k < 6; ++k) {
    // A0 comes from the last character pair, A5 from the first.
    auto hi = static_cast<uint8_t>(f.address[10 - 2 * k]);
    auto lo = static_cast<uint8_t>(f.address[11 - 2 * k]);
    out[p++] = static_cast<uint8_t>(16 * hi + lo - 0x30);
  }
  out[p++] = 0x68;
  out[p++] = f.control;
  out[p++] = f.length;
  for (int k = 0; k < f.length; ++k) out[p++] = f.handle33 ? static_cast<uint8_t>(f.data[k] + 0x33) : f.data[k];
  uint8_t cs = 0;
  for (size_t i = start; i < p; ++i) cs = static_cast<uint8_t>(cs + out[i]);
  out[p++] = cs;
  out[p++] = 0x16;
  return static_cast<int32_t>(p);
}

int32_t findFrameCandidate(const uint8_t* buf, int32_t len, int32_t from) {
  if (!buf) return -1;
  for (int32_t i = from < 0 ? 0 : from; i < len; ++i) {
    if (buf[i] != 0x68) continue;
    if (i + 9 >= len || buf[i + 7] != 0x68) continue;
    int32_t l = buf[i + 9];
    if (i + l + 11 >= len || buf[i + l + 11] != 0x16) continue;
    return i;
  }
  return -1;
}

bool candidateChecksumOk(const uint8_t* buf, int32_t i) {
  int32_t l = buf[i + 9];
  uint8_t cs = 0;
  for (int32_t k = 0; k < l + 10; ++k) cs = static_cast<uint8_t>(cs + buf[i + k]);
  return cs == buf[i + l + 10];
}

void loadFrameAt(Frame645Data& f, const uint8_t* buf, int32_t i) {
  // A0 is on the wire first and last in the text. Every reply passes here, and a formatted
  // print would cost more than the rest of its decoding.
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int k = 0; k < 6; ++k) {
    uint8_t b = buf[i + 6 - k];
    f.address[static_cast<size_t>(2 * k)] = kHex[b >> 4];
    f.address[static_cast<size_t>(2 * k + 1)] = kHex[b & 0x0F];
  }
  f.control = buf[i + 8];
  f.length = buf[i + 9];
  for (int k = 0; k < f.length; ++k)
    f.data[k] = f.handle33 ? static_cast<uint8_t>(buf[i + 10 + k] - 0x33) : buf[i + 10 + k];
  if (i > 0) {
    // The bytes kept are the first (i mod 20) of the buffer, not the last before the frame.
    f.fragment.fill(0);
    std::memcpy(f.fragment.data(), buf, static_cast<size_t>(i % 20));
  }
}

int32_t parseFrame(Frame645Data& f, const uint8_t* buf, int32_t len) {
  int32_t i = findFrameCandidate(buf, len);
  if (i < 0 || !candidateChecksumOk(buf, i)) return -1;
  loadFrameAt(f, buf, i);
  return i;
}

std::string frameDataText(const Frame645Data& f) { return bufToHexText(f.data.data(), f.length); }

std::string frameWireText(const Frame645Data& f) {
  uint8_t wire[kFrame645MaxWire];
  int32_t n = serializeFrame(f, wire);
  return bufToHexText(wire, n);
}

std::string frameWireTextSub33(const Frame645Data& f) {
  uint8_t wire[kFrame645MaxWire];
  int32_t n = serializeFrame(f, wire);
  // Data shown as plain values; the checksum stays the one on the wire.
  std::memcpy(wire + f.prefixCount + 10, f.data.data(), f.length);
  return bufToHexText(wire, n);
}

std::string frameFragmentText(const Frame645Data& f) {
  size_t n = 0;
  while (n < f.fragment.size() && f.fragment[n] != 0) ++n;
  return bufToHexText(f.fragment.data(), static_cast<int32_t>(n));
}

}  // namespace kavlink
