// One row per parameter handler of the window: its button, what it reads or sets, where the
// text goes or comes from, and its rules. The row is the handler: the window binds its button
// from here.
#pragma once

#include <span>

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

}  // namespace zr::setup
