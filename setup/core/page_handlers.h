// The read and set sequences that every parameter handler of the window follows, driven by
// one table row per handler: the data identifier, the fields, how their texts travel, the
// checks, the port rule and the messages. The pages (tariff, clock, limits, identity,
// status, prepayment, load profile) are thin classes over these sequences: a page holds its
// rows, and only what no row can say (the tariff periods, the status grid, the load profile)
// is a method under the window's handler name.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/form_fields.h"
#include "core/meter_exchange.h"
#include "core/page_fields.h"
#include "core/table_model.h"
#include "core/ui_port.h"
#include "core/value_codings.h"

namespace zr::setup {

inline constexpr char kOperateSuccessful[] = "Operate successful!!";
inline constexpr char kCommunicationFailed[] = "Communication failed!!";
inline constexpr char kOperateFailed[] = "Operate failed!!";
inline constexpr char kPortOpenFailed[] = "Serial port open failed";
inline constexpr char kBroadcastAddress[] = "999999999999";

// Which checks run before the port is touched.
enum class Checks { kNone, kMeterId, kMeterIdAndPassword };

// Whether the handler opens the local serial port only for "Local Serial", or always.
enum class PortRule { kLocalOnly, kAlways };

// One field a read fills, and how.
struct ReadTarget {
  const char* field = nullptr;  // nullptr: the status grid
  ValueCoding coding;
};

struct ReadItem {
  const char* button;
  uint16_t di;
  std::array<ReadTarget, 2> targets;
  int targetCount = 1;
  Checks checks = Checks::kMeterId;
  PortRule port = PortRule::kLocalOnly;
  bool broadcast = false;                   // to 999999999999 instead of the meter ID
  std::span<const StatusBit> statusBits{};  // for a status grid target
  const char* failure = kCommunicationFailed;

  // Value bytes the decoding needs after the echoed identifier.
  size_t valueBytes() const;
};

// How a text becomes value bytes.
enum class TextForm {
  kAsTyped,
  kShortDate,  // the date picker's text as yy-MM-dd
  kConstant,   // no field: the byte is `position`
  kMeterId,    // no field: the trimmed meter ID brought to 12 characters
};

struct ValueByte {
  const char* field = nullptr;
  int position = 0;  // counted from 1; 0: the whole text
  TextForm form = TextForm::kAsTyped;
};

// What precedes the value bytes in the request's data.
enum class SetLayout {
  kIdentifierPassword,  // DI0 DI1 0x00 P0 P1 P2 V...
  kLevelPassword,       // 0x00 P0 P1 P2 V...
  kValuesOnly,          // V...
};

// A format check on the whole, untrimmed text of the set's field.
struct FormatCheck {
  const char* field = nullptr;  // nullptr: no check
  int length = 0;
  int pointAt = 0;  // the first "." must stand here (counted from 1); 0: anywhere; -1: none
  const char* message = nullptr;
};

struct SetItem {
  const char* button;
  uint16_t di;
  std::array<ValueByte, 6> values;
  int valueCount;
  uint8_t control = 0x04;
  uint8_t success = 0x84;
  SetLayout layout = SetLayout::kIdentifierPassword;
  Checks checks = Checks::kMeterIdAndPassword;
  PortRule port = PortRule::kLocalOnly;
  bool broadcast = false;
  FormatCheck format{};
  const char* fitField = nullptr;  // brought to fitWidth characters (and written back) first
  int fitWidth = 0;
  const char* emptyEnds = nullptr;  // an empty text in this field ends the handler silently
  const char* failure = kCommunicationFailed;
};

// Whether a reply answers the identifier di with at least valueBytes value bytes.
bool replyCarries(const FrameReply& reply, uint16_t di, size_t valueBytes);

// Whether text passes the check (a check without a field always passes).
bool passesFormatCheck(const FormatCheck& check, std::string_view text);

// The table rows a page runs; the window binds each row's button straight from them.
struct HandlerRows {
  std::span<const ReadItem> reads;
  std::span<const SetItem> sets;
};

class PageHandlers {
 public:
  PageHandlers(FormFields& form, PageFields& page, MeterExchange& meter, UiPort& ui, HandlerRows rows = {});

  const HandlerRows& rows() const { return rows_; }
  // The handler of the row whose button is given; throws std::logic_error when the page has
  // no such row.
  void click(std::string_view button);

  void runRead(const ReadItem& item);
  void runSet(const SetItem& item);

  // The address every request to the meter goes to: the trimmed meter ID to 12 characters.
  std::string meterAddress() const;
  // P0 P1 P2: the password's characters 5-6, 3-4, 1-2.
  std::array<uint8_t, 3> passwordBytes() const;
  // The request data of a set, before its exchange.
  std::vector<uint8_t> setData(const SetItem& item) const;

 protected:
  // The shape every handler shares: checks, the button disabled, the port opened by rule,
  // the body, then always the port closed (only when this handler opened it: a port held by
  // a handler still waiting for its reply must stay open) and the button enabled.
  // closingMessage, when given, is shown at the end whatever happened.
  void run(std::string_view button, Checks checks, PortRule port, const std::function<void()>& body,
           const char* closingMessage = nullptr);
  // Opens the port by rule; false (after the warning) when it cannot be opened.
  bool openPort(PortRule port, bool& opened);

  FormFields& form_;
  PageFields& page_;
  MeterExchange& meter_;
  UiPort& ui_;
  HandlerRows rows_;
  TableModel* statusGrid_ = nullptr;  // where a status read appends its rows
};

}  // namespace zr::setup
