// The card's serial port as its tty layer holds it: the attributes kept from one open to the
// next, the descriptors, the modem-control requests, tcflush and the closing wait.
#include "sim/kernel/tty/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace kmb::sim {

namespace {

// The tty layer's closing wait: output still queued when the last descriptor goes gets this
// long to drain.
constexpr int64_t kClosingWaitUs = 30'000'000;
constexpr int kModemControlOutputs = TIOCM_DTR | TIOCM_RTS;

bool hung_up(tcflag_t cflag) { return (cflag & (CBAUD | CBAUDEX)) == B0; }

// The port as the card's boot leaves it: a cooked line at 9600 8N1 that ignores the modem
// lines, since nothing on the fixture's connector is a modem.
termios boot_attributes()
{
    termios attr{};
    attr.c_iflag = ICRNL | IXON;
    attr.c_oflag = OPOST | ONLCR;
    attr.c_cflag = B9600 | CS8 | CREAD | CLOCAL | HUPCL;
    attr.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
    attr.c_cc[VINTR] = 0x03;
    attr.c_cc[VQUIT] = 0x1C;
    attr.c_cc[VERASE] = 0x7F;
    attr.c_cc[VKILL] = 0x15;
    attr.c_cc[VEOF] = 0x04;
    attr.c_cc[VSTART] = 0x11;
    attr.c_cc[VSTOP] = 0x13;
    attr.c_cc[VSUSP] = 0x1A;
    attr.c_cc[VMIN] = 1;
    attr.c_cc[VTIME] = 0;
    cfsetispeed(&attr, B9600);
    cfsetospeed(&attr, B9600);
    return attr;
}

class SerialPortFile final : public OpenFile {
public:
    SerialPortFile(std::string path, int flags, SerialPort& port)
        : OpenFile(std::move(path)), flags_(flags), port_(port)
    {
    }

    ssize_t read(void* buf, size_t count) override
    {
        if ((flags_ & O_ACCMODE) == O_WRONLY) {
            return fail(EBADF);
        }
        return port_.read(flags_, buf, count);
    }
    ssize_t write(const void* buf, size_t count) override
    {
        if ((flags_ & O_ACCMODE) == O_RDONLY) {
            return fail(EBADF);
        }
        return port_.write(flags_, buf, count);
    }
    int ioctl(unsigned long request, unsigned long arg) override { return port_.ioctl(request, arg); }
    int fcntl(int cmd, long arg) override
    {
        switch (cmd) {
        case F_GETFL:
            return flags_;
        case F_SETFL: {
            // Only the status flags change; the access mode is the open's.
            constexpr int kChangeable = O_NONBLOCK | O_APPEND | O_ASYNC;
            flags_ = (flags_ & ~kChangeable) | (static_cast<int>(arg) & kChangeable);
            return 0;
        }
        default:
            return OpenFile::fcntl(cmd, arg);
        }
    }
    int tcgetattr(struct termios* attr) override { return port_.get_attributes(attr); }
    int tcsetattr(int action, const struct termios* attr) override { return port_.set_attributes(action, attr); }
    int tcflush(int queue) override { return port_.flush(queue); }
    int release() override
    {
        port_.close_one();
        return 0;
    }

private:
    int flags_;
    SerialPort& port_;
};

} // namespace

SerialPort::SerialPort(VirtualClock& clock, SerialLoopback& line, Trace& trace)
    : clock_(clock), trace_(trace), loop_(line), uart_(clock, line), attr_(boot_attributes())
{
    trace_modem_lines();
    uart_.configure(attr_.c_cflag);
    uart_.set_receiver([this](uint8_t byte) { receive(byte); });
}

std::unique_ptr<OpenFile> SerialPort::open(const std::string& path, int flags)
{
    if (opens_++ == 0) {
        drop_input();
        if (!hung_up(attr_.c_cflag)) {
            set_modem_control(uart_.modem_control() | TIOCM_DTR | TIOCM_RTS);
        }
    }
    trace_.note("tts open");
    return std::make_unique<SerialPortFile>(path, flags, *this);
}

void SerialPort::close_one()
{
    trace_.note("tts close");
    if (opens_ == 0 || --opens_ != 0) {
        return;
    }
    wait([this] { return uart_.tx_pending() == 0; }, clock_.now_us() + kClosingWaitUs);
    uart_.flush_tx();
    if ((attr_.c_cflag & HUPCL) != 0) {
        set_modem_control(uart_.modem_control() & ~(TIOCM_DTR | TIOCM_RTS));
    }
    drop_input();
}

void SerialPort::set_modem_control(int lines)
{
    uart_.set_modem_control(lines);
    trace_modem_lines();
}

void SerialPort::trace_modem_lines()
{
    const int outputs = uart_.modem_control();
    const int lines = outputs | loop_.status_levels(outputs);
    const std::pair<Wire, int> wires[] = {
        {Wire::SerialDtr, TIOCM_DTR}, {Wire::SerialRts, TIOCM_RTS}, {Wire::SerialCts, TIOCM_CTS},
        {Wire::SerialDcd, TIOCM_CAR}, {Wire::SerialDsr, TIOCM_DSR}, {Wire::SerialRi, TIOCM_RNG},
    };
    for (const auto& [wire, bit] : wires) {
        trace_.wire(wire, (lines & bit) != 0 ? 1 : 0);
    }
}

void SerialPort::drop_input()
{
    uart_.flush_rx();
    input_.clear();
    lines_ = 0;
}

int SerialPort::ioctl(unsigned long request, unsigned long arg)
{
    auto* word = reinterpret_cast<int*>(arg);
    if (word == nullptr && (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
                            request == TIOCMBIC || request == TIOCINQ || request == TIOCOUTQ)) {
        errno = EFAULT;
        return -1;
    }
    switch (request) {
    case TIOCMGET:
        *word = uart_.modem_lines();
        trace_.note("tts TIOCMGET " + std::to_string(*word));
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC: {
        const int bits = *word & kModemControlOutputs;
        int lines = uart_.modem_control();
        lines = request == TIOCMSET ? bits : request == TIOCMBIS ? (lines | bits) : (lines & ~bits);
        set_modem_control(lines);
        trace_.note("tts TIOCMSET " + std::to_string(lines));
        return 0;
    }
    case TIOCINQ:
        uart_.catch_up();
        *word = static_cast<int>(input_.size());
        return 0;
    case TIOCOUTQ:
        uart_.catch_up();
        *word = static_cast<int>(uart_.tx_pending());
        return 0;
    default:
        errno = ENOTTY;
        return -1;
    }
}

int SerialPort::get_attributes(termios* attr)
{
    if (attr == nullptr) {
        errno = EFAULT;
        return -1;
    }
    *attr = attr_;
    return 0;
}

int SerialPort::set_attributes(int action, const termios* attr)
{
    if (attr == nullptr) {
        errno = EFAULT;
        return -1;
    }
    if (action != TCSANOW && action != TCSADRAIN && action != TCSAFLUSH) {
        errno = EINVAL;
        return -1;
    }
    if (action != TCSANOW) {
        wait([this] { return uart_.tx_pending() == 0; });
    }
    if (action == TCSAFLUSH) {
        drop_input();
    }
    uart_.catch_up();
    const termios old = attr_;
    attr_ = *attr;
    uart_.configure(attr_.c_cflag);
    // Hanging up with B0 drops the lines; leaving B0 raises them again.
    if (!hung_up(old.c_cflag) && hung_up(attr_.c_cflag)) {
        set_modem_control(uart_.modem_control() & ~(TIOCM_DTR | TIOCM_RTS));
    } else if (hung_up(old.c_cflag) && !hung_up(attr_.c_cflag)) {
        const int raise = TIOCM_DTR | ((attr_.c_cflag & CRTSCTS) == 0 ? TIOCM_RTS : 0);
        set_modem_control(uart_.modem_control() | raise);
    }
    if ((old.c_iflag & IXON) != 0 && (attr_.c_iflag & IXON) == 0 && uart_.tx_stopped()) {
        uart_.set_tx_stopped(false);
    }
    // Into canonical mode, what is buffered is the start of a line not yet ended.
    if ((old.c_lflag & ICANON) == 0 && (attr_.c_lflag & ICANON) != 0) {
        lines_ = 0;
    }
    trace_attributes();
    return 0;
}

int SerialPort::flush(int queue)
{
    switch (queue) {
    case TCIFLUSH:
        drop_input();
        break;
    case TCOFLUSH:
        uart_.flush_tx();
        break;
    case TCIOFLUSH:
        drop_input();
        uart_.flush_tx();
        break;
    default:
        errno = EINVAL;
        return -1;
    }
    trace_.note("tts tcflush " + std::to_string(queue));
    return 0;
}

void SerialPort::trace_attributes()
{
    if (!trace_.enabled()) {
        return;
    }
    const tcflag_t c = attr_.c_cflag;
    std::string line = "tts attributes " + std::to_string(uart_.baud()) + " " +
                       std::to_string(uart_.frame_bits() - 2 - ((c & PARENB) != 0) - ((c & CSTOPB) != 0)) +
                       ((c & PARENB) == 0 ? "N" : (c & PARODD) != 0 ? "O" : "E") + ((c & CSTOPB) != 0 ? "2" : "1");
    line += (attr_.c_lflag & ICANON) != 0 ? " canonical" : " raw";
    line += " vmin " + std::to_string(attr_.c_cc[VMIN]) + " vtime " + std::to_string(attr_.c_cc[VTIME]);
    trace_.note(line);
}

} // namespace kmb::sim
