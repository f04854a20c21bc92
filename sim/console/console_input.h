// The card's console as the program reads it: the operator's bytes, read off the host's
// descriptor with read(2) into a line buffer of its own, never through stdio. Reading through
// stdio would flush standard output first (glibc does so before it reads a terminal), and the
// console's output looks for a hang-up after each write: the two paths would call into each
// other without end. Here the input path touches no output stream, and the output path only
// asks this buffer whether the line has ended.
#pragma once

#include <string>

namespace kmb::sim {

class ConsoleInput {
public:
    // The operator's input on the host's descriptor `fd` (not owned).
    explicit ConsoleInput(int fd) : fd_(fd) {}
    // A scripted console: `text`, then the end of input.
    static ConsoleInput scripted(std::string text);

    int fd() const { return fd_; }

    // Bytes already read off the line and not yet handed to the program.
    bool buffered() const { return next_ < buffer_.size(); }

    // Whether the line has ended: once a read meets the end, the line stays down (a terminal's
    // Ctrl-D is not taken back by later keys), whatever lines are still buffered.
    bool ended() const { return ended_; }

    // Reads whatever is waiting on the descriptor, without blocking, and tells whether the line
    // has ended. Bytes typed ahead are kept for the prompts that come.
    bool look_for_end();

    // The program's line read: at most size-1 bytes, up to and including a line end; the rest
    // of a longer line stays for the next read. nullptr at the end of input with nothing read.
    // Blocks until the operator types; a signal does not end the wait (the program's handler
    // is installed with SA_RESTART).
    char* read_line(char* buf, int size);

private:
    ConsoleInput(int fd, std::string text, bool ended) : fd_(fd), buffer_(std::move(text)), ended_(ended) {}
    // One read(2) into the buffer; `block` says whether to wait for the operator.
    void fill(bool block);
    int next_char();

    int fd_;
    std::string buffer_;
    size_t next_ = 0;
    bool ended_ = false;
};

} // namespace kmb::sim
