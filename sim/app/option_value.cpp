#include "sim/app/option_value.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kmb::sim {

namespace {

// strtod and strtoll skip leading blanks and take a '+': an operator's number starts with a
// digit, a '-' or a '.'.
bool starts_like_a_number(const std::string& text)
{
    if (text.empty()) {
        return false;
    }
    const char c = text.front();
    return (c >= '0' && c <= '9') || c == '-' || c == '.';
}

} // namespace

std::optional<double> real_in_range(const std::string& text, double min, double max)
{
    if (!starts_like_a_number(text)) {
        return std::nullopt; // "nan" and "inf" start with no digit
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(v) || v < min || v > max) {
        return std::nullopt;
    }
    return v;
}

std::optional<long long> integer_in_range(const std::string& text, long long min, long long max)
{
    if (!starts_like_a_number(text) || text.front() == '.' || (text.front() == '-' && min >= 0)) {
        return std::nullopt;
    }
    const bool negative = text.front() == '-';
    const std::string digits = negative ? text.substr(1) : text;
    const bool hex = digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    if (digits.empty() || digits.front() < '0' || digits.front() > '9') {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
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
