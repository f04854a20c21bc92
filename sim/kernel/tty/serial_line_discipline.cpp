// The card's tty line discipline on the serial port: received bytes as ISTRIP, IXON, IGNCR,
// ICRNL, INLCR, echo and the canonical line end treat them; reads in canonical mode or by VMIN
// and VTIME on the card's clock; writes with OPOST and ONLCR through the UART.
#include "sim/kernel/tty/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

namespace kmb::sim {

namespace {

// The line discipline's read buffer.
constexpr size_t kInputBufferSize = 4096 - 1;
// No wait of the model's lasts longer.
constexpr int64_t kLongestWaitUs = 60'000'000;

// A special character that is switched on (not _POSIX_VDISABLE) and equal to `byte`.
bool is(uint8_t byte, cc_t special) { return special != _POSIX_VDISABLE && byte == special; }

} // namespace

bool SerialPort::is_line_end(uint8_t byte) const
{
    return byte == '\n' || is(byte, attr_.c_cc[VEOL]) || is(byte, attr_.c_cc[VEOL2]) || is(byte, attr_.c_cc[VEOF]);
}

void SerialPort::receive(uint8_t byte)
{
    const tcflag_t iflag = attr_.c_iflag;
    const tcflag_t lflag = attr_.c_lflag;
    if ((iflag & ISTRIP) != 0) {
        byte &= 0x7F;
    }
    if ((iflag & IXON) != 0) {
        if (is(byte, attr_.c_cc[VSTOP])) {
            uart_.set_tx_stopped(true);
            return;
        }
        if (is(byte, attr_.c_cc[VSTART])) {
            uart_.set_tx_stopped(false);
            return;
        }
        if ((iflag & IXANY) != 0 && uart_.tx_stopped()) {
            uart_.set_tx_stopped(false);
        }
    }
    if (byte == '\r') {
        if ((iflag & IGNCR) != 0) {
            return;
        }
        if ((iflag & ICRNL) != 0) {
            byte = '\n';
        }
    } else if (byte == '\n' && (iflag & INLCR) != 0) {
        byte = '\r';
    }
    if ((lflag & ISIG) != 0 &&
        (is(byte, attr_.c_cc[VINTR]) || is(byte, attr_.c_cc[VQUIT]) || is(byte, attr_.c_cc[VSUSP]))) {
        return; // taken as a signal character; no process group to signal
    }
    if (input_.size() >= kInputBufferSize) {
        return; // the read buffer is full: the byte is lost
    }
    input_.push_back(byte);
    last_input_us_ = uart_.time_us();
    if ((lflag & ICANON) != 0 && is_line_end(byte)) {
        ++lines_;
    }
    if ((lflag & ECHO) != 0 && !is(byte, attr_.c_cc[VEOF])) {
        uart_.send(byte);
    }
}

size_t SerialPort::take(uint8_t* out, size_t count)
{
    size_t n = 0;
    if ((attr_.c_lflag & ICANON) == 0) {
        n = std::min(count, input_.size());
        std::copy_n(input_.begin(), n, out);
        input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }
    // One line at most; the end-of-file character ends it and is not handed over.
    while (n < count && !input_.empty()) {
        const uint8_t byte = input_.front();
        input_.pop_front();
        if (is_line_end(byte)) {
            --lines_;
            if (!is(byte, attr_.c_cc[VEOF])) {
                out[n++] = byte;
            }
            break;
        }
        out[n++] = byte;
    }
    return n;
}

bool SerialPort::wait(const std::function<bool()>& ready, int64_t deadline_us)
{
    const int64_t longest = clock_.now_us() + kLongestWaitUs;
    deadline_us = deadline_us < 0 ? longest : std::min(deadline_us, longest);
    while (true) {
        uart_.catch_up();
        if (ready()) {
            return true;
        }
        const int64_t now = clock_.now_us();
        if (now >= deadline_us) {
            return false;
        }
        const int64_t next = uart_.next_event_us();
        if (next < 0 && deadline_us == longest) {
            return false; // nothing on the line can make it ready
        }
        const int64_t until = next < 0 ? deadline_us : std::min(next, deadline_us);
        clock_.advance(std::max<int64_t>(until - now, 1));
    }
}

ssize_t SerialPort::read(int flags, void* buf, size_t count)
{
    if (count == 0) {
        return 0;
    }
    if (buf == nullptr) {
        errno = EFAULT;
        return -1;
    }
    auto* out = static_cast<uint8_t*>(buf);
    const bool nonblocking = (flags & O_NONBLOCK) != 0;
    uart_.catch_up();
    if ((attr_.c_lflag & ICANON) == 0) {
        return read_raw(nonblocking, out, count);
    }
    if (lines_ == 0 && (nonblocking || !wait([this] { return lines_ > 0; }))) {
        errno = EAGAIN;
        return -1;
    }
    return static_cast<ssize_t>(take(out, count));
}

ssize_t SerialPort::read_raw(bool nonblocking, uint8_t* out, size_t count)
{
    const size_t vmin = attr_.c_cc[VMIN];
    const int64_t vtime_us = static_cast<int64_t>(attr_.c_cc[VTIME]) * 100'000;
    if (nonblocking) {
        if (input_.empty()) {
            errno = EAGAIN;
            return -1;
        }
        return static_cast<ssize_t>(take(out, count));
    }
    if (vmin == 0) {
        // What has come; else the first byte within VTIME, or 0 when none comes.
        if (input_.empty() && vtime_us > 0) {
            wait([this] { return !input_.empty(); }, clock_.now_us() + vtime_us);
        }
        return static_cast<ssize_t>(take(out, count));
    }
    const size_t want = std::min(vmin, count);
    if (input_.empty() && !wait([this] { return !input_.empty(); })) {
        errno = EAGAIN;
        return -1;
    }
    if (vtime_us == 0) {
        wait([this, want] { return input_.size() >= want; });
    } else {
        // VTIME times the gap between bytes, restarting with each one that comes.
        while (input_.size() < want) {
            const size_t have = input_.size();
            if (!wait([this, have, want] { return input_.size() > have || input_.size() >= want; },
                      last_input_us_ + vtime_us)) {
                break;
            }
        }
    }
    return static_cast<ssize_t>(take(out, count));
}

ssize_t SerialPort::write(int flags, const void* buf, size_t count)
{
    if (count == 0) {
        return 0;
    }
    if (buf == nullptr) {
        errno = EFAULT;
        return -1;
    }
    const auto* in = static_cast<const uint8_t*>(buf);
    const bool nonblocking = (flags & O_NONBLOCK) != 0;
    const tcflag_t oflag = attr_.c_oflag;
    uart_.catch_up();
    size_t done = 0;
    while (done < count) {
        uint8_t out[2] = {in[done], 0};
        size_t n = 1;
        if ((oflag & OPOST) != 0) {
            if (out[0] == '\n' && (oflag & ONLCR) != 0) {
                out[0] = '\r';
                out[1] = '\n';
                n = 2;
            } else if (out[0] == '\r' && (oflag & OCRNL) != 0) {
                out[0] = '\n';
            }
        }
        if (uart_.tx_room() < n && (nonblocking || !wait([this, n] { return uart_.tx_room() >= n; }))) {
            break;
        }
        for (size_t i = 0; i < n; ++i) {
            uart_.send(out[i]);
        }
        ++done;
    }
    if (done == 0) {
        errno = EAGAIN; // output stopped and nothing that could start it again
        return -1;
    }
    return static_cast<ssize_t>(done);
}

} // namespace kmb::sim
