// A simulated DL/T 645 meter: takes request bytes, answers with reply bytes.
//
// It answers read (0x01 -> 0x81, or 0xC1 for an unknown item), write (0x04 -> 0x84, or
// 0xC4 for a wrong password or level), set address (0x0A -> 0x8A, broadcast only) and 0x12
// (-> 0x92, password checked; clears the open-box alarm). A written value is kept, so a
// later read returns it; writes to the relay items C03D / C03C switch the relay, which the
// relay status word C026 shows. The load profile (D110 with a record number) has 2880
// records, single-phase (20 bytes) or three-phase (40 bytes). Values are kept per data identifier (DI1DI0) as
// bytes, least significant first, as they travel. Its codec is its own: tests compare
// against bytes written out by hand, never against the component's frame object.
//
// Faults change what it answers; timing faults (late, in pieces) are applied by the
// transport that runs it (MeterOnFd).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

struct MeterFaults {
  bool silent = false;
  int delayMs = 0;                          // answer this late
  size_t chunkSize = 0;                     // answer in pieces of this many bytes (0: at once)
  int chunkGapMs = 0;                       // pause between pieces
  int preamble = 0;                         // FE bytes before the reply
  Bytes noise;                              // bytes before the reply (after the preamble)
  bool badChecksum = false;                 // reply checksum off by one
  std::optional<std::string> replyAddress;  // answer from this address instead of its own
  bool twice = false;                       // send the reply frame twice in one burst
  int errorReplies = 0;                     // the next n read requests get 0xC1
  std::optional<uint16_t> refuseDi;         // reads get 0xC1, writes 0xC4, for this item only
  std::optional<uint16_t> silentDi;         // no answer for this item only
  std::optional<int> silentRecord;          // no answer for this load profile record
};

struct Request {
  std::array<uint8_t, 6> address{};  // A0..A5 as on the wire
  uint8_t control = 0;
  Bytes data;  // without the 0x33 offset
  Bytes wire;  // the frame as it came, 0x68 to 0x16
};

class Dlt645Meter {
 public:
  explicit Dlt645Meter(std::string address = "000000012345", std::string password = "318204");

  // Feeds received bytes; returns the reply bytes (possibly empty) for each complete
  // request found. Bytes that do not form a frame are kept until they do, or dropped.
  std::vector<Bytes> feed(const uint8_t* bytes, size_t n);

  void setValue(uint16_t di, Bytes value);
  std::optional<Bytes> value(uint16_t di) const;
  void setFaults(const MeterFaults& f);
  // The address a broadcast request (999999999999) is answered from: the meter's own by
  // default; a meter that echoes the broadcast address is made with "999999999999".
  void setBroadcastReplyAddress(std::optional<std::string> address);
  MeterFaults faults() const;
  std::string address() const;

  // The load profile's record layout: 40 bytes three-phase, 20 single-phase (the default).
  void setThreePhaseProfile(bool threePhase);
  static constexpr int kProfileRecords = 2880;
  // The value bytes of profile record n (1 to kProfileRecords), lowest first per field.
  static Bytes profileRecord(int n, bool threePhase);

  // Custom answer for a control code; return std::nullopt to stay silent.
  using Handler = std::function<std::optional<std::pair<uint8_t, Bytes>>(const Request&)>;
  void setHandler(uint8_t control, Handler h);

  // Requests seen so far (addressed to this meter or not).
  std::vector<Request> requests() const;
  size_t requestCount() const;

  // Reply wire bytes for a control and plain data, from the given 12-digit address.
  static Bytes frame(const std::string& address, uint8_t control, const Bytes& data, int preamble = 0);

 private:
  std::optional<Bytes> answer(const Request& r);
  bool passwordOk(const Bytes& p) const;

  mutable std::mutex mutex_;
  std::string address_;
  std::string password_;
  std::map<uint16_t, Bytes> values_;
  std::map<uint8_t, Handler> handlers_;
  MeterFaults faults_;
  std::optional<std::string> broadcastReplyAddress_;
  bool threePhase_ = false;
  Bytes pending_;
  std::vector<Request> requests_;
};

// Plausible values for every item the setup program reads and every item of the sample
// item database, each in its item's layout, so a user trying the program on the simulated
// meter sees real readings on every page and in every group of the tree. Broadcast requests are answered
// from 999999999999, as "Read ID" and "Set ID" need.
void loadDemoValues(Dlt645Meter& meter);

}  // namespace sim
