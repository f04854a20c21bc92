// The reading of a --temp-profile file. Whatever the file holds, the parser gives points or an
// error naming the line, never both; the points rise in time and stay in the LM77's range, and
// the interpolation between them stays between its neighbours.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/core/temperature_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto points = kmb::sim::parse_temperature_profile(text, error);
    if (!points) {
        if (error.empty()) {
            std::abort();
        }
        return 0;
    }
    if (points->empty() || points->size() > kmb::sim::kMaxProfilePoints) {
        std::abort();
    }
    int64_t last = -1;
    for (const kmb::sim::TemperaturePoint& p : *points) {
        if (p.us <= last || p.millidegrees < -55'000 || p.millidegrees > 125'000) {
            std::abort();
        }
        last = p.us;
    }
    // Walk the profile from change to change, as the card's LM77 does; it never goes back in
    // time and stays within the range.
    int64_t at = 0;
    for (int steps = 0; steps < 1000 && at >= 0; ++steps) {
        const int half = kmb::sim::profile_half_degrees(*points, at);
        if (half < -110 || half > 250) {
            std::abort();
        }
        const int64_t next = kmb::sim::profile_next_change_us(*points, at);
        if (next >= 0 && next <= at) {
            std::abort();
        }
        at = next;
    }
    return 0;
}
