#include "sim/app/option_value.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace kmb::sim {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The digits and at most one point of a decimal number, after its sign: at least one digit.
bool plain_decimal(std::string_view digits, bool fraction_allowed)
{
    bool any_digit = false;
    bool point_seen = false;
    for (const char c : digits) {
        if (is_digit(c)) {
            any_digit = true;
        } else if (c == '.' && fraction_allowed && !point_seen) {
            point_seen = true;
        } else {
            return false;
        }
    }
    return any_digit;
}

// The text after its sign, or nullopt when it has a sign the range does not allow.
std::optional<std::string_view> unsigned_part(const std::string& text, bool negative_allowed)
{
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '-') {
        if (!negative_allowed) {
            return std::nullopt;
        }
        digits.remove_prefix(1);
    }
    return digits;
}

} // namespace

std::optional<double> decimal_in_range(const std::string& text, double min, double max)
{
    const std::optional<std::string_view> digits = unsigned_part(text, min < 0);
    if (!digits || !plain_decimal(*digits, true)) {
        return std::nullopt;
    }
    // The form is checked; strtod reads it in the C locale's decimal point, which the
    // simulator never changes.
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v) || v < min || v > max) {
        return std::nullopt;
    }
    return v;
}

std::optional<long long> whole_in_range(const std::string& text, long long min, long long max)
{
    const std::optional<std::string_view> digits = unsigned_part(text, min < 0);
    if (!digits || !plain_decimal(*digits, false)) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE || v < min || v > max) {
        return std::nullopt;
    }
    return v;
}

int refuse_value(FILE* err, const std::string& option, const std::string& text, const char* expected)
{
    std::fprintf(err, "kmbdiag-sim: invalid value '%s' for %s: expected %s\n", text.c_str(), option.c_str(),
                 expected);
    return 2;
}

} // namespace kmb::sim
