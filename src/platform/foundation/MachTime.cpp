#include "platform/foundation/MachTime.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/foundation/Clock.h"

__extension__ typedef unsigned __int128 u128;  // products of 64-bit values

namespace {
// numer in the high word, denom in the low one, so readers see a consistent pair.
std::atomic<std::uint64_t> timebase{(std::uint64_t{1} << 32) | 1};

// Nanoseconds of the Clock, never going back: a Clock set back (virtual time
// started before the real time, or real time after virtual time ahead of it)
// moves an offset instead, so the count goes on from where it was.
std::uint64_t monotonicNanoseconds() {
    static std::mutex mutex;
    static std::uint64_t last = 0;
    static std::uint64_t offset = 0;
    const auto raw = static_cast<std::uint64_t>(std::max<std::int64_t>(0, Clock::nanoseconds()));
    std::lock_guard lock(mutex);
    if (raw + offset < last) offset = last - raw;
    last = raw + offset;
    return last;
}
}  // namespace

std::uint64_t mach_absolute_time() {
    const std::uint64_t pair = timebase.load();
    const auto numer = static_cast<u128>(pair >> 32);
    const auto denom = static_cast<u128>(pair & 0xffffffffu);
    const auto nanoseconds = static_cast<u128>(monotonicNanoseconds());
    // One tick more than the elapsed ticks, so the counter is never 0.
    return static_cast<std::uint64_t>(nanoseconds * denom / numer) + 1;
}

kern_return_t mach_timebase_info(mach_timebase_info_data_t* info) {
    if (!info) return KERN_INVALID_ARGUMENT;
    const std::uint64_t pair = timebase.load();
    info->numer = static_cast<std::uint32_t>(pair >> 32);
    info->denom = static_cast<std::uint32_t>(pair & 0xffffffffu);
    return KERN_SUCCESS;
}

bool mach_set_timebase_for_testing(std::uint32_t numer, std::uint32_t denom) {
    if (numer == 0 || denom == 0) return false;
    timebase.store((std::uint64_t{numer} << 32) | denom);
    return true;
}
