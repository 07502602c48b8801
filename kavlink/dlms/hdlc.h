// HDLC framing as DLMS uses it on a serial line (frame format type 3), shared by the
// client link of the DLMS control and by the meter-side engine: the CRC, the control byte
// kinds, the server address forms, building a frame and checking one.
#pragma once

#include <cstdint>

namespace kavlink {

enum HdlcFrameKind : uint8_t {
  hfkUnknown = 0,
  hfkI = 1,
  hfkRR = 2,
  hfkRNR = 3,
  hfkSNRM = 4,
  hfkDISC = 5,
  hfkUA = 6,
  hfkDM = 7,
  hfkFRMR = 8,
  hfkUI = 9,
};

constexpr uint8_t kHdlcFlag = 0x7E;
constexpr uint8_t kHdlcSegmentBit = 0x08;  // in the first byte of the frame format
constexpr uint8_t kCtrlSnrm = 0x93;
constexpr uint8_t kCtrlDisc = 0x53;
constexpr uint8_t kCtrlUa = 0x73;
constexpr uint8_t kCtrlDm = 0x1F;
constexpr uint8_t kCtrlFrmr = 0x97;
// The longest server address (4 bytes) and client address (1 byte).
constexpr int kHdlcMaxAddressBytes = 5;
// The frame format's 11-bit length counts every byte between the flags.
constexpr int kHdlcMaxFrameLength = 0x7FF + 2;

// CRC-16/X.25 register update, a byte at a time over the standard table; callers start
// with 0xFFFF and complement the result.
uint16_t Fcs16Update(uint16_t fcs, const uint8_t* bytes, uint16_t count);
// The finished CRC-16/X.25 of the bytes (start 0xFFFF, complemented).
uint16_t Crc16X25(const uint8_t* bytes, uint16_t count);

HdlcFrameKind ClassifyControlByte(uint8_t c);

// Control bytes of the numbered frames, poll/final bit set.
inline uint8_t IFrameControl(uint8_t nr, uint8_t ns) { return static_cast<uint8_t>(nr * 32 + 0x10 + ns * 2); }
inline uint8_t RrControl(uint8_t nr) { return static_cast<uint8_t>(nr * 32 + 0x11); }
inline uint8_t ReceivedNs(uint8_t control) { return (control >> 1) & 7; }
inline uint8_t ReceivedNr(uint8_t control) { return (control >> 5) & 7; }

// The server address bytes for a physical (lower) and logical (upper) address: 1, 2 or 4
// bytes, the last one carrying the end bit; returns the count.
int EncodeServerAddress(uint16_t physical, uint16_t logical, uint8_t* out);

// Whether the server address that starts at a (avail bytes at hand) names this server.
// Returns the server address byte count (1, 2 or 4), 0 on a mismatch or when the address
// runs past avail.
int MatchServerAddress(const uint8_t* a, int avail, uint16_t physical, uint16_t logical);

// Writes flag, format, the address bytes, control, HCS and, with information (n > 0,
// already in place at out + 3 + addressBytes + 3), the FCS and closing flag. Returns the
// frame's length in bytes.
int BuildHdlcFrame(uint8_t* out, const uint8_t* address, int addressBytes, uint8_t control, int n, bool segmented);
// Where the information of a frame built with addressBytes address bytes starts.
inline int HdlcInfoOffset(int addressBytes) { return 3 + addressBytes + 3; }

// Gathered bytes against the frame they should form.
enum class HdlcGather {
  kBadStart,    // the first byte is no flag: drop everything
  kIncomplete,  // the length or the closing flag is not there yet: wait for more
  kComplete,
};
HdlcGather CheckHdlcGathered(const uint8_t* r, int count);

// One complete frame, as a reply to this client or a request to this server.
struct HdlcFrameView {
  int header = 0;  // server address bytes + 1
  uint8_t control = 0;
  HdlcFrameKind kind = hfkUnknown;
  int infoStart = 0;
  int infoLength = 0;
  bool segmented = false;
};

enum class HdlcRead { kOk, kAddressMismatch, kTooShort };
// Reads the fields of a complete frame of count bytes whose server address begins at
// addressAt (4 in replies, 3 in requests). The check of the FCS is the caller's.
HdlcRead ReadHdlcFrame(const uint8_t* r, int count, int addressAt, uint16_t physical, uint16_t logical,
                       HdlcFrameView& out);
// Whether the CRC over r[1 .. count-4] matches the two bytes before the closing flag.
bool HdlcCheckSumOk(const uint8_t* r, int count);

}  // namespace kavlink
