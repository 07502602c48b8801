// The DL/T 645 frame as plain data: wire serialisation and the search for a frame in a
// byte stream. No COM here, so the master control and tests use it directly.
//
// Wire layout: [preamble x P] 68 A0..A5 68 C L data(+0x33) CS 16, with A0 the last digit
// pair of the address text and CS the byte sum of everything from the first 68 through
// the last data byte. Length P + L + 12.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kavlink {

constexpr size_t kFrame645DataSize = 1024;
// The longest wire frame: 255 preamble bytes, 255 data bytes, 12 frame bytes.
constexpr size_t kFrame645MaxWire = 255 + 255 + 12;

struct Frame645Data {
  std::array<char, 12> address{'0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0', '0'};
  uint8_t control = 0;
  uint8_t length = 0;
  std::array<uint8_t, kFrame645DataSize> data{};
  uint8_t prefixCount = 0;
  uint8_t prefixChar = 0xFE;
  int32_t handle33 = 1;
  std::array<uint8_t, 20> fragment{};  // zero-terminated; at most 19 bytes
};

// Address assignment from narrow text: at most 12 bytes taken; a shorter text is moved
// right and padded on the left with '0'. Characters are not tested.
void setFrameAddress(Frame645Data& f, const std::string& narrow);

// Writes the wire frame at out (room for wireLength(f) bytes) and returns its length.
int32_t serializeFrame(const Frame645Data& f, uint8_t* out);
inline int32_t wireLength(const Frame645Data& f) { return f.prefixCount + f.length + 12; }

// Looks for the first frame candidate (68 .. 68 at +7, 16 at +L+11, all inside len).
// Returns its start index when its checksum is good and the frame took its content,
// else -1 with the frame unchanged. The scan stops at the first candidate.
int32_t parseFrame(Frame645Data& f, const uint8_t* buf, int32_t len);

// Takes the content of the (complete) frame at index i of buf: address, control, length,
// data (less 0x33 when the switch is on) and, when i > 0, the first (i mod 20) bytes of
// buf as fragment. Preamble settings and the switch stay.
void loadFrameAt(Frame645Data& f, const uint8_t* buf, int32_t i);

// The first candidate at or after `from`, whatever its checksum: its index, or -1.
int32_t findFrameCandidate(const uint8_t* buf, int32_t len, int32_t from = 0);
// Checksum test of the candidate at index i (it must be a complete candidate).
bool candidateChecksumOk(const uint8_t* buf, int32_t i);

// Hex texts of the frame.
std::string frameDataText(const Frame645Data& f);
std::string frameWireText(const Frame645Data& f);
std::string frameWireTextSub33(const Frame645Data& f);
std::string frameFragmentText(const Frame645Data& f);

}  // namespace kavlink
