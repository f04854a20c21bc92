// What the operator's terminal shows of the card's console output, line by line: a backspace
// steps back and the next character overwrites (the spinner's steps fold into the character
// printed after them), a carriage return goes back to the line's start, a line feed ends the
// line. Other control characters show nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kmb::sim {

class TerminalLines {
public:
    // Told each line as it ends, with the card time of its line feed.
    using LineDone = std::function<void(int64_t us, std::string_view line)>;
    explicit TerminalLines(LineDone done) : done_(std::move(done)) {}

    void feed(int64_t us, std::string_view bytes);
    // The console is done: a line not ended (a prompt) is told as it stands.
    void finish(int64_t us);

    // A line grows no longer than this; the terminal keeps overwriting its last column.
    static constexpr std::size_t kMaxLine = 4096;

private:
    LineDone done_;
    std::string line_;
    std::size_t cursor_ = 0;
};

} // namespace kmb::sim
