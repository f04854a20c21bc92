#include "sim/console/console_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>

#include "sim/core/clock.h"
#include "sim/core/host_complaint.h"

namespace kmb::sim {

ConsoleLine::ConsoleLine(VirtualClock& clock, int host_fd, int bits_per_second)
    : clock_(clock), host_fd_(host_fd),
      bytes_per_us_(static_cast<double>(bits_per_second) / kBitsPerByte / 1e6), since_us_(clock.now_us())
{
    cookie_io_functions_t io{};
    io.write = &ConsoleLine::write_cookie;
    io.close = &ConsoleLine::close_cookie;
    stream_ = ::fopencookie(this, "w", io);
    if (stream_ != nullptr) {
        // The card's console is a serial terminal, so the C library hands each line to it as
        // it is printed, whatever the host's standard output is: a line printed before a
        // reset is on the line when the card goes down.
        std::setvbuf(stream_, nullptr, _IOLBF, BUFSIZ);
    }
}

ConsoleLine::~ConsoleLine()
{
    if (stream_ != nullptr) {
        std::fclose(stream_);
    }
}

int64_t ConsoleLine::backlog() const
{
    const double sent = static_cast<double>(clock_.now_us() - since_us_) * bytes_per_us_;
    return static_cast<int64_t>(std::ceil(std::max(0.0, backlog_ - sent)));
}

void ConsoleLine::drained()
{
    backlog_ = 0;
    since_us_ = clock_.now_us();
}

ssize_t ConsoleLine::write_cookie(void* cookie, const char* data, size_t size)
{
    static_cast<ConsoleLine*>(cookie)->send(data, size);
    // The card's console takes every byte in the end; a host that refuses them is told of
    // once, and the program carries on as it would with nobody at the line.
    return static_cast<ssize_t>(size);
}

int ConsoleLine::close_cookie(void*) { return 0; }

void ConsoleLine::send(const char* data, size_t size)
{
    while (size > 0) {
        if (clock_.halted()) {
            return; // the card went down: the rest never reaches the line
        }
        backlog_ = static_cast<double>(backlog());
        since_us_ = clock_.now_us();
        const auto room = static_cast<size_t>(std::max<int64_t>(0, kTransmitBuffer - static_cast<int64_t>(backlog_)));
        if (room == 0) {
            // The write blocks until a chunk has gone out on the line.
            const size_t chunk = std::min<size_t>(size, kTransmitBuffer / 4);
            clock_.advance(static_cast<int64_t>(std::ceil(static_cast<double>(chunk) / bytes_per_us_)));
            continue;
        }
        const size_t take = std::min(room, size);
        backlog_ += static_cast<double>(take);
        if (on_output_) {
            on_output_(data, take);
        }
        forward(data, take);
        data += take;
        size -= take;
    }
    if (on_write_) {
        on_write_();
    }
}

void ConsoleLine::forward(const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(host_fd_, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            complain_once("console", std::string("cannot write the card's console to standard output: ") +
                                         std::strerror(n < 0 ? errno : EIO) + "; the rest of it is lost");
            return;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace kmb::sim
