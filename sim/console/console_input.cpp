#include "sim/console/console_input.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

namespace kmb::sim {

namespace {

constexpr size_t kReadChunk = 4096;
// Bytes typed ahead that the line keeps before it stops looking: a script of many megabytes
// (or a device that never ends) is read as the prompts take it, not all at once.
constexpr size_t kTypeAheadLimit = 16u << 20;

} // namespace

ConsoleInput ConsoleInput::scripted(std::string text) { return ConsoleInput(-1, std::move(text), true); }

void ConsoleInput::fill(bool block)
{
    if (ended_ || fd_ < 0) {
        ended_ = true;
        return;
    }
    if (next_ > 0 && (next_ == buffer_.size() || next_ >= kReadChunk * 16)) {
        buffer_.erase(0, next_); // what the program has read goes
        next_ = 0;
    }
    while (true) {
        if (!block) {
            pollfd p{fd_, POLLIN, 0};
            const int ready = ::poll(&p, 1, 0);
            if (ready <= 0) {
                return; // nothing waiting (or the poll was interrupted: look again next time)
            }
            if ((p.revents & POLLNVAL) != 0) {
                ended_ = true;
                return;
            }
        }
        char chunk[kReadChunk];
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            buffer_.append(chunk, static_cast<size_t>(n));
            return;
        }
        if (n < 0 && errno == EINTR) {
            if (!block) {
                return;
            }
            continue; // SA_RESTART: a Ctrl-C at the prompt does not end the read
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!block) {
                return;
            }
            // A descriptor left non-blocking by whoever handed it over: wait for it.
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, -1);
            continue;
        }
        // The end of input, or a line that cannot be read (EIO from a terminal that went away):
        // the operator has hung up either way.
        ended_ = true;
        return;
    }
}

bool ConsoleInput::look_for_end()
{
    // Each look reads at most what is waiting; a huge script is not slurped at once.
    if (!ended_ && buffer_.size() - next_ < kTypeAheadLimit) {
        fill(false);
    }
    return ended_;
}

int ConsoleInput::next_char()
{
    if (next_ == buffer_.size()) {
        fill(true);
        if (next_ == buffer_.size()) {
            return EOF;
        }
    }
    return static_cast<unsigned char>(buffer_[next_++]);
}

char* ConsoleInput::read_line(char* buf, int size)
{
    if (size < 2) {
        return nullptr;
    }
    // One byte at a time, so that what decides an overlong line is what was read, not where a
    // stray NUL from the terminal happens to end the text.
    int len = 0;
    bool line_end = false;
    while (len < size - 1 && !line_end) {
        const int c = next_char();
        if (c == EOF) {
            break;
        }
        buf[len++] = static_cast<char>(c);
        line_end = c == '\n';
    }
    if (len == 0) {
        return nullptr;
    }
    buf[len] = '\0';
    return buf;
}

} // namespace kmb::sim
