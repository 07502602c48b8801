// Milliseconds and sleeping, with the semantics of the Windows tick count: a 32-bit
// counter that wraps after about 49.7 days, so elapsed time is always computed with
// unsigned subtraction (now - start).
#pragma once

#include <cstdint>

namespace zr::text {

using TickFunction = uint32_t (*)();

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t tickCount();

// Tests may replace the clock; nullptr restores the real one.
void setTickFunction(TickFunction f);

void sleepMs(uint32_t ms);

}  // namespace zr::text
