#include "sim/core/temperature_profile.h"

#include <algorithm>

namespace kmb::sim {

namespace {

// The LM77's specified range, and a card time far past any run that still keeps the
// interpolation's products inside 64 bits.
constexpr int64_t kColdestMilli = -55'000;
constexpr int64_t kHottestMilli = 125'000;
constexpr int64_t kLatestSeconds = 10'000'000;
constexpr std::size_t kMaxLineBytes = 200;

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

int half_of(int64_t millidegrees) { return static_cast<int>(floor_div(millidegrees + 250, 500)); }

int64_t milli_at(std::span<const TemperaturePoint> p, int64_t us)
{
    if (us <= p.front().us) {
        return p.front().millidegrees;
    }
    if (us >= p.back().us) {
        return p.back().millidegrees;
    }
    const auto next = std::upper_bound(p.begin(), p.end(), us,
                                       [](int64_t t, const TemperaturePoint& point) { return t < point.us; });
    const TemperaturePoint& a = *(next - 1);
    const TemperaturePoint& b = *next;
    const int64_t rise = static_cast<int64_t>(b.millidegrees) - a.millidegrees;
    return a.millidegrees + floor_div(rise * (us - a.us), b.us - a.us);
}

// A decimal "[-]digits[.digits]" scaled by 10^`places`; nullopt for anything else, a fraction
// longer than `places` included.
std::optional<int64_t> fixed_point(std::string_view text, int places, bool may_be_negative)
{
    bool negative = false;
    if (!text.empty() && text.front() == '-' && may_be_negative) {
        negative = true;
        text.remove_prefix(1);
    }
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 9 || (dot != std::string_view::npos && fraction.empty()) ||
        fraction.size() > static_cast<std::size_t>(places)) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : whole) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    for (int i = 0; i < places; ++i) {
        const char c = static_cast<std::size_t>(i) < fraction.size() ? fraction[static_cast<std::size_t>(i)] : '0';
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

// The line's fields, split at spaces and tabs.
std::vector<std::string_view> fields_of(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size() && fields.size() <= 2) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        const std::size_t end = line.find_first_of(" \t", i);
        fields.push_back(line.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
        i = end == std::string_view::npos ? line.size() : end;
    }
    return fields;
}

} // namespace

int profile_half_degrees(std::span<const TemperaturePoint> profile, int64_t us)
{
    return profile.empty() ? 0 : half_of(milli_at(profile, us));
}

int64_t profile_next_change_us(std::span<const TemperaturePoint> profile, int64_t us)
{
    if (profile.empty() || us >= profile.back().us) {
        return -1;
    }
    if (us < profile.front().us) {
        return profile.front().us;
    }
    const auto next = std::upper_bound(profile.begin(), profile.end(), us,
                                       [](int64_t t, const TemperaturePoint& point) { return t < point.us; });
    const int now = half_of(milli_at(profile, us));
    int64_t high = next->us;
    if (half_of(milli_at(profile, high)) == now) {
        return high; // nothing new before the point; the next segment decides from there
    }
    // Within one segment the temperature moves one way: the first change is found by halving.
    int64_t low = us;
    while (high - low > 1) {
        const int64_t mid = low + (high - low) / 2;
        (half_of(milli_at(profile, mid)) == now ? low : high) = mid;
    }
    return high;
}

std::optional<std::vector<TemperaturePoint>> parse_temperature_profile(std::string_view text, std::string& error)
{
    if (text.size() > kMaxProfileBytes) {
        error = "the file is larger than " + std::to_string(kMaxProfileBytes) + " bytes";
        return std::nullopt;
    }
    std::vector<TemperaturePoint> points;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string where = "line " + std::to_string(number) + ": ";
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() > kMaxLineBytes) {
            error = where + "longer than " + std::to_string(kMaxLineBytes) + " characters";
            return std::nullopt;
        }
        if (line.find('\0') != std::string_view::npos) {
            error = where + "holds a NUL byte";
            return std::nullopt;
        }
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') {
            continue;
        }
        const std::vector<std::string_view> fields = fields_of(line);
        if (fields.size() != 2) {
            error = where + "expected SECONDS DEGREES";
            return std::nullopt;
        }
        const std::optional<int64_t> us = fixed_point(fields[0], 6, false);
        if (!us || *us > kLatestSeconds * 1'000'000) {
            error = where + "the card time '" + std::string(fields[0].substr(0, 20)) +
                    "' is not a number of seconds from 0 to " + std::to_string(kLatestSeconds);
            return std::nullopt;
        }
        const std::optional<int64_t> milli = fixed_point(fields[1], 3, true);
        if (!milli || *milli < kColdestMilli || *milli > kHottestMilli) {
            error = where + "the temperature '" + std::string(fields[1].substr(0, 20)) +
                    "' is not a number of degrees from -55 to 125";
            return std::nullopt;
        }
        if (!points.empty() && *us <= points.back().us) {
            error = where + "the card time does not rise";
            return std::nullopt;
        }
        if (points.size() == kMaxProfilePoints) {
            error = where + "more than " + std::to_string(kMaxProfilePoints) + " points";
            return std::nullopt;
        }
        points.push_back(TemperaturePoint{*us, static_cast<int>(*milli)});
    }
    if (points.empty()) {
        error = "no points: expected lines of SECONDS DEGREES";
        return std::nullopt;
    }
    return points;
}

} // namespace kmb::sim
