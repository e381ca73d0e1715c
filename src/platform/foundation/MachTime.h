#pragma once
// The platform's monotonic tick counter over the Clock: ticks follow Clock time
// (virtual time in tests), are never 0 and never go back, also when tests set
// the Clock back (it then goes on from where it was). One tick is numer/denom nanoseconds;
// the ratio is 1/1 unless set (e.g. 125/3, as some devices report). Any thread.
#include <cstdint>

struct mach_timebase_info_data_t {
    std::uint32_t numer;
    std::uint32_t denom;
};
using kern_return_t = int;
inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr kern_return_t KERN_INVALID_ARGUMENT = 4;

std::uint64_t mach_absolute_time();
kern_return_t mach_timebase_info(mach_timebase_info_data_t* info);
// Sets the ratio (both non-zero); returns false and changes nothing otherwise.
bool mach_set_timebase_for_testing(std::uint32_t numer, std::uint32_t denom);
