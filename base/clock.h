// The millisecond tick the scheduler times completions with.
//
// Threads: any.
#pragma once

#include <cstdint>
#include <functional>

// A source of millisecond ticks that wraps around at 2^32, like the system's
// multimedia timer. Tests substitute their own.
using MillisecondClock = std::function<uint32_t()>;

// Milliseconds of a monotonic clock, truncated to 32 bits.
uint32_t TickMilliseconds();
