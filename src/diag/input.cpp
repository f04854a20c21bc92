#include "diag/input.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kmb {

int32_t parse_number(const char* text, int base)
{
    const int saved = errno;
    long long value = std::strtoll(text, nullptr, base);
    errno = saved;
    if (value > INT32_MAX) {
        value = INT32_MAX;
    } else if (value < INT32_MIN) {
        value = INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

const char* text_from(const char* line, std::size_t column)
{
    return std::strlen(line) >= column ? line + column : "";
}

} // namespace kmb
