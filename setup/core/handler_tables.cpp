#include "core/handler_tables.h"

#include <array>
#include <vector>

namespace zr::setup {
namespace {

constexpr ValueCoding digits(int bytes, int fraction = 0, int offset = 0) {
  return {Coding::kDigits, offset, bytes, fraction};
}

constexpr ReadItem read1(const char* button, uint16_t di, const char* field, ValueCoding coding,
                         PortRule port = PortRule::kLocalOnly) {
  return {.button = button, .di = di, .targets = {{{field, coding}, {}}}, .port = port};
}

// A set of one field's characters at the positions given, lowest value byte first.
template <class... P>
constexpr SetItem set1(const char* button, uint16_t di, const char* field, P... positions) {
  SetItem s{.button = button, .di = di, .values = {}, .valueCount = sizeof...(P)};
  int i = 0;
  ((s.values[static_cast<size_t>(i++)] = ValueByte{field, positions}), ...);
  return s;
}

constexpr SetItem checked(SetItem s, FormatCheck check) {
  s.format = check;
  return s;
}

constexpr SetItem portAlways(SetItem s) {
  s.port = PortRule::kAlways;
  return s;
}

// ---- Date and Time ---------------------------------------------------------------------

constexpr std::array<ReadItem, 5> kClockReadRows{{
    {.button = "BitBtn4",
     .di = 0xC010,
     .targets = {{{"DateTimePicker1", {Coding::kBcdDate, 1, 3, 0}}, {"Edit2", {Coding::kBcdWeekday, 0, 1, 0}}}},
     .targetCount = 2},
    {.button = "BitBtn6", .di = 0xC011, .targets = {{{"DateTimePicker2", {Coding::kBcdTime, 0, 3, 0}}, {}}}},
    read1("BitBtn12", 0xC113, "scroll", digits(1)),
    read1("BitBtn10", 0xC112, "Edit6", digits(1)),
    {.button = "BitBtn8",
     .di = 0xC117,
     .targets = {{{"Edit4", digits(1, 0, 0)}, {"Edit3", digits(1, 0, 1)}}},
     .targetCount = 2},
}};

constexpr std::array<SetItem, 5> kClockSetRows{{
    {.button = "BitBtn5",
     .di = 0xC010,
     .values = {{{"Edit2", 0},
                 {"DateTimePicker1", 7, TextForm::kShortDate},
                 {"DateTimePicker1", 4, TextForm::kShortDate},
                 {"DateTimePicker1", 1, TextForm::kShortDate}}},
     .valueCount = 4},
    set1("BitBtn7", 0xC011, "DateTimePicker2", 7, 4, 1),
    set1("BitBtn13", 0xC113, "scroll", 0),
    set1("BitBtn11", 0xC112, "Edit6", 0),
    {.button = "BitBtn9", .di = 0xC117, .values = {{{"Edit4", 0}, {"Edit3", 0}}}, .valueCount = 2},
}};

// ---- Other: limits, constants, EDU ID --------------------------------------------------

constexpr char kVoltageFormat[] = "Voltage value format error!";
constexpr char kCeilingFormat[] = "Active power ceiling value format error!";

constexpr std::array<ReadItem, 7> kLimitReadRows{{
    read1("BitBtn14", 0xC11C, "Edit5", digits(3, 1)),
    read1("BitBtn17", 0xC11B, "Edit7", digits(3, 1)),
    read1("BitBtn20", 0xB634, "Edit8", digits(2, 1), PortRule::kAlways),
    read1("BitBtn22", 0xC030, "Edit9", digits(3)),
    read1("BitBtn24", 0xC031, "Edit10", digits(3)),
    read1("BitBtn40", 0xB634, "Edit14", digits(2)),
    read1("BitBtn47", 0xD211, "Edit15", digits(6)),
}};

constexpr std::array<SetItem, 7> kLimitSetRows{{
    checked(set1("BitBtn15", 0xC11C, "Edit5", 6, 3, 1), {"Edit5", 7, 5, kVoltageFormat}),
    checked(set1("BitBtn18", 0xC11B, "Edit7", 6, 3, 1), {"Edit7", 7, 5, kVoltageFormat}),
    portAlways(checked(set1("BitBtn21", 0xB634, "Edit8", 4, 1), {"Edit8", 5, 3, kCeilingFormat})),
    checked(set1("BitBtn23", 0xC030, "Edit9", 5, 3, 1), {"Edit9", 6, 0, "Active pulse constant value format error!"}),
    checked(set1("BitBtn25", 0xC031, "Edit10", 5, 3, 1),
            {"Edit10", 6, 0, "Reactive pulse constant value format error!"}),
    checked(set1("BitBtn46", 0xB634, "Edit14", 3, 1), {"Edit14", 4, -1, kCeilingFormat}),
    [] {
      SetItem s = set1("BitBtn48", 0xD211, "Edit15", 11, 9, 7, 5, 3, 1);
      s.fitField = "Edit15";
      s.fitWidth = 12;
      return s;
    }(),
}};

// ---- Status words, relay, open meter box ------------------------------------------------

constexpr StatusBit kRunningBits[] = {
    {2, "3.6V Battery Alarm", "Owe", "Normal"},
    {4, "Active power", "Reverse", "Positive"},
    {5, "Reactive power", "Reverse", "Positive"},
};
constexpr StatusBit kAlarmBits[] = {
    {0, "Illegal out-of-the-box state", "Out", "Normal"},
    {1, "Open the top cover state", "Open", "Normal"},
    {2, "Active power", "Positive", "Reverse"},
    {3, "Lower voltage assessment", "not enough", "Normal"},
    {4, "Maximum voltage assessment", "Overload", "Normal"},
    {5, "Remaining electricity", "Warning", "Normal"},
    {6, "Overload alarm", "Overload", "Normal"},
};
constexpr StatusBit kRelayBits[] = {
    {0, "Last operation", "Relay on", "Relay off"},
    {1, "Relay on failure", "Yes", "No"},
    {2, "Relay off failure", "Yes", "No"},
    {3, "Export status", "electric", "No electricity"},
    {4, "Invasive phase", "Yes", "No"},
    {5, "Ultra credit battery trip", "Yes", "No"},
};

constexpr ReadItem statusRead(const char* button, uint16_t di, std::span<const StatusBit> bits) {
  return {.button = button,
          .di = di,
          .targets = {{{nullptr, {Coding::kStatusBits, 0, 1, 0}}, {}}},
          .port = PortRule::kAlways,
          .statusBits = bits};
}

constexpr std::array<ReadItem, 3> kStatusReadRows{{
    statusRead("BitBtn16", 0xC020, kRunningBits),  // running state word
    statusRead("BitBtn19", 0xC021, kAlarmBits),    // alarm status word
    statusRead("BitBtn26", 0xC026, kRelayBits),    // relay status word
}};

constexpr SetItem relay(const char* button, uint16_t di) {
  return {.button = button, .di = di, .values = {}, .valueCount = 0, .failure = kOperateFailed};
}

constexpr std::array<SetItem, 3> kStatusSetRows{{
    relay("BitBtn28", 0xC03D),  // "Relay on"
    relay("BitBtn27", 0xC03C),  // "Relay off"
    // Clears the open-meter-box state.
    {.button = "BitBtn31",
     .di = 0,
     .values = {{{nullptr, 0x01, TextForm::kConstant}}},
     .valueCount = 1,
     .control = 0x12,
     .success = 0x92,
     .layout = SetLayout::kLevelPassword},
}};

// ---- Prepayment registers --------------------------------------------------------------

constexpr SetItem prepaymentSet(SetItem s) {
  s.port = PortRule::kAlways;
  s.emptyEnds = s.values[0].field;
  return s;
}

constexpr std::array<ReadItem, 5> kPrepaymentReadRows{{
    read1("BitBtn30", 0x9F1F, "MaskEdit1", digits(4, 1), PortRule::kAlways),  // total purchase
    read1("BitBtn35", 0x9F20, "MaskEdit2", digits(2), PortRule::kAlways),     // trusted electricity
    read1("BitBtn37", 0x9F22, "MaskEdit3", digits(2), PortRule::kAlways),     // alarm electricity
    // Remaining electricity: read only.
    read1("BitBtn39", 0x9F23, "MaskEdit4", {Coding::kSignedRemaining, 0, 4, 1}, PortRule::kAlways),
    read1("BitBtn41", 0x9F21, "MaskEdit5", digits(1), PortRule::kAlways),  // meter type
}};

constexpr std::array<SetItem, 4> kPrepaymentSetRows{{
    prepaymentSet(set1("BitBtn32", 0x9F1F, "MaskEdit1", 8, 5, 3, 1)),
    prepaymentSet(set1("BitBtn36", 0x9F20, "MaskEdit2", 3, 1)),
    prepaymentSet(set1("BitBtn38", 0x9F22, "MaskEdit3", 3, 1)),
    prepaymentSet(set1("BitBtn42", 0x9F21, "MaskEdit5", 1)),
}};

}  // namespace

const std::span<const ReadItem> kClockReads = kClockReadRows;
const std::span<const SetItem> kClockSets = kClockSetRows;
const std::span<const ReadItem> kLimitReads = kLimitReadRows;
const std::span<const SetItem> kLimitSets = kLimitSetRows;
const std::span<const ReadItem> kStatusReads = kStatusReadRows;
const std::span<const SetItem> kStatusSets = kStatusSetRows;
const std::span<const ReadItem> kPrepaymentReads = kPrepaymentReadRows;
const std::span<const SetItem> kPrepaymentSets = kPrepaymentSetRows;

const SetItem kSetMeterAddress{.button = "Button1",
                               .di = 0,
                               .values = {{{nullptr, 11, TextForm::kMeterId},
                                           {nullptr, 9, TextForm::kMeterId},
                                           {nullptr, 7, TextForm::kMeterId},
                                           {nullptr, 5, TextForm::kMeterId},
                                           {nullptr, 3, TextForm::kMeterId},
                                           {nullptr, 1, TextForm::kMeterId}}},
                               .valueCount = 6,
                               .control = 0x0A,
                               .success = 0x8A,
                               .layout = SetLayout::kValuesOnly,
                               .checks = Checks::kNone,
                               .port = PortRule::kAlways,
                               .broadcast = true};

const ReadItem kReadMeterNumber{.button = "Button2",
                                .di = 0xC032,
                                .targets = {{{"Edit1", {Coding::kDigits, 0, 6, 0}}, {}}},
                                .checks = Checks::kNone,
                                .port = PortRule::kAlways,
                                .broadcast = true};

std::span<const ReadItem* const> allReadItems() {
  static const std::vector<const ReadItem*> all = [] {
    std::vector<const ReadItem*> v;
    for (auto table : {kClockReads, kLimitReads, kStatusReads, kPrepaymentReads})
      for (const ReadItem& r : table) v.push_back(&r);
    v.push_back(&kReadMeterNumber);
    return v;
  }();
  return all;
}

}  // namespace zr::setup
