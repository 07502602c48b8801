// One row per parameter handler of the window: what it reads or sets, where the text goes or
// comes from, and its rules. The page classes find their rows by the handler's button.
#pragma once

#include <span>
#include <string_view>

#include "core/page_handlers.h"

namespace zr::setup {

// "Date and Time": date and week, time, scroll-display cycle, sliding time, automatic
// meter reading.
extern const std::span<const ReadItem> kClockReads;
extern const std::span<const SetItem> kClockSets;
// "Other": voltage assessments, power ceiling, pulse constants, current limit, EDU ID.
extern const std::span<const ReadItem> kLimitReads;
extern const std::span<const SetItem> kLimitSets;
// "Set ID" and "Read ID" at the top of the window.
extern const SetItem kSetMeterAddress;
extern const ReadItem kReadMeterNumber;
// "State word" and "Relay control", and the open-meter-box clear on "Other".
extern const std::span<const ReadItem> kStatusReads;
extern const std::span<const SetItem> kStatusSets;
// "Prepayment part".
extern const std::span<const ReadItem> kPrepaymentReads;
extern const std::span<const SetItem> kPrepaymentSets;

// Every read row of every page, for checks over all of them.
std::span<const ReadItem* const> allReadItems();

// The row of the handler behind button; throws std::logic_error when the table has none.
const ReadItem& readItemFor(std::span<const ReadItem> table, std::string_view button);
const SetItem& setItemFor(std::span<const SetItem> table, std::string_view button);

}  // namespace zr::setup
