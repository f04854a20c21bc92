#include "devices/error_codes.h"

#include <iterator>

namespace kmb {

namespace {

constexpr const char* kErrorTexts[] = {
    "No error",          "Invalid command", "Invalid parameter",   "Error writing",
    "Error reading",     "Invalid response data", "IPC error",     "Interrupt error",
    "End of data",       "I2C access error", "Driver access error", "Can't test",
    "Command checksum error",
};
static_assert(std::size(kErrorTexts) == ERR_CHECKSUM + 1);

} // namespace

const char* error_text(int code)
{
    if (code < 0 || code >= static_cast<int>(std::size(kErrorTexts))) {
        return "Unknown error";
    }
    return kErrorTexts[code];
}

} // namespace kmb
