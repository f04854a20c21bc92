#include "sim/core/trace_file.h"

#include <string>

namespace kmb::sim {

void TraceFile::line(int64_t us, std::string_view text)
{
    if (failed_) {
        return;
    }
    // One event a line whatever it carries: a control character in a shell command or a file
    // name is written as \xNN.
    std::string out = card_seconds(us);
    out += ' ';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '\n';
    if (std::fwrite(out.data(), 1, out.size(), out_) != out.size()) {
        failed_ = true;
    }
}

} // namespace kmb::sim
