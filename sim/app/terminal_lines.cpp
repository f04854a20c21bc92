#include "sim/app/terminal_lines.h"

namespace kmb::sim {

namespace {

constexpr std::size_t kTabStop = 8;

} // namespace

void TerminalLines::feed(int64_t us, std::string_view bytes)
{
    auto put = [this](char c) {
        if (cursor_ < line_.size()) {
            line_[cursor_++] = c;
        } else if (line_.size() < kMaxLine) {
            line_ += c;
            ++cursor_;
        } else {
            line_.back() = c; // the last column
        }
    };
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            done_(us, line_);
            line_.clear();
            cursor_ = 0;
        } else if (c == '\r') {
            cursor_ = 0;
        } else if (c == '\b') {
            cursor_ -= cursor_ > 0 ? 1 : 0;
        } else if (c == '\t') {
            do {
                put(' ');
            } while (cursor_ % kTabStop != 0 && cursor_ < kMaxLine);
        } else if (byte >= 0x20 && byte != 0x7f) {
            put(c);
        }
    }
}

void TerminalLines::finish(int64_t us)
{
    if (!line_.empty()) {
        done_(us, line_);
        line_.clear();
        cursor_ = 0;
    }
}

} // namespace kmb::sim
