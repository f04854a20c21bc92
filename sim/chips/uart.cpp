#include "sim/chips/uart.h"

#include <algorithm>
#include <sys/ioctl.h>

namespace kmb::sim {

namespace {

// The driver's circular transmit buffer holds one byte less than its page.
constexpr size_t kTxBufferSize = 4096 - 1;
constexpr size_t kRxFifoSize = 16;
constexpr size_t kRxTriggerLevel = 8;
// With fewer bytes than the trigger level waiting, the FIFO interrupts after this many
// character times without a new one.
constexpr int64_t kRxTimeoutCharacters = 4;

constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;

struct SpeedCode {
    speed_t code;
    long baud;
};

// The target's own speed codes: their numbers differ between the card and a workstation.
constexpr SpeedCode kSpeeds[] = {
    {B0, 0},           {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},       {B200, 200},         {B300, 300},         {B600, 600},         {B1200, 1200},
    {B1800, 1800},     {B2400, 2400},       {B4800, 4800},       {B9600, 9600},       {B19200, 19200},
    {B38400, 38400},   {B57600, 57600},     {B115200, 115200},   {B230400, 230400},   {B460800, 460800},
    {B500000, 500000}, {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000}, {B3500000, 3500000},
    {B4000000, 4000000},
};

long baud_of(tcflag_t cflag)
{
    const speed_t code = cflag & (CBAUD | CBAUDEX);
    for (const SpeedCode& s : kSpeeds) {
        if (s.code == code) {
            return s.baud;
        }
    }
    return 9600; // a code the controller has no divisor for: the driver falls back to this
}

int data_bits_of(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

} // namespace

void Uart::configure(tcflag_t cflag)
{
    catch_up();
    const long baud = baud_of(cflag);
    const int data_bits = data_bits_of(cflag);
    data_mask_ = static_cast<uint8_t>((1u << data_bits) - 1);
    frame_bits_ = 1 + data_bits + ((cflag & PARENB) != 0 ? 1 : 0) + ((cflag & CSTOPB) != 0 ? 2 : 1);
    receiver_on_ = (cflag & CREAD) != 0;
    cts_flow_ = (cflag & CRTSCTS) != 0;
    if (baud != baud_ && head_done_us_ >= 0) {
        // A new divisor takes effect at once: the character on the wire starts over.
        head_done_us_ = -1;
        line_free_us_ = time_us();
    }
    baud_ = baud;
    if (head_done_us_ >= 0 && !can_send()) {
        head_done_us_ = -1;
        line_free_us_ = time_us();
    }
    start_next();
}

int Uart::modem_lines()
{
    catch_up();
    return mctrl_ | status_inputs();
}

int Uart::status_inputs() { return line_.status_inputs(mctrl_); }

void Uart::set_modem_control(int bits)
{
    catch_up();
    mctrl_ = bits & kOutputs;
    start_next(); // CTS may let a waiting character go
}

size_t Uart::tx_room() const { return tx_.size() >= kTxBufferSize ? 0 : kTxBufferSize - tx_.size(); }

void Uart::send(uint8_t byte)
{
    if (tx_room() == 0) {
        return;
    }
    tx_.push_back(byte);
    start_next();
}

void Uart::set_tx_stopped(bool stopped)
{
    stopped_ = stopped;
    start_next();
}

void Uart::flush_tx()
{
    catch_up();
    tx_.clear();
    if (head_done_us_ >= 0) {
        head_done_us_ = -1;
        line_free_us_ = time_us();
    }
}

void Uart::flush_rx()
{
    catch_up();
    rx_fifo_.clear();
}

void Uart::catch_up()
{
    if (in_event_) {
        return; // a receiver's reaction inside an event: the loop below goes on with it
    }
    const int64_t until = clock_.now_us();
    in_event_ = true;
    while (true) {
        const int64_t tx_due = head_done_us_;
        const int64_t rx_due = rx_timeout_due();
        const bool tx = tx_due >= 0 && tx_due <= until;
        const bool rx = rx_due >= 0 && rx_due <= until;
        if (!tx && !rx) {
            break;
        }
        // A character that completes as the FIFO times out is in the FIFO first.
        if (tx && (!rx || tx_due <= rx_due)) {
            event_us_ = tx_due;
            finish_character();
        } else {
            event_us_ = rx_due;
            hand_on();
        }
    }
    in_event_ = false;
}

int64_t Uart::next_event_us() const
{
    const int64_t rx_due = rx_timeout_due();
    if (head_done_us_ < 0) {
        return rx_due;
    }
    return rx_due < 0 ? head_done_us_ : std::min(head_done_us_, rx_due);
}

bool Uart::can_send()
{
    if (baud_ == 0 || stopped_) {
        return false;
    }
    return !cts_flow_ || (status_inputs() & TIOCM_CTS) != 0;
}

void Uart::start_next()
{
    if (head_done_us_ >= 0 || tx_.empty() || !can_send()) {
        return;
    }
    const int64_t start = std::max(time_us(), line_free_us_);
    if (start != line_free_us_ || burst_baud_ != baud_) {
        burst_start_us_ = start;
        burst_bits_ = 0;
        burst_baud_ = baud_;
    }
    const int64_t bits = burst_bits_ + frame_bits_;
    head_done_us_ = burst_start_us_ + (bits * 1'000'000 + baud_ - 1) / baud_;
}

void Uart::finish_character()
{
    const uint8_t byte = static_cast<uint8_t>(tx_.front() & data_mask_);
    tx_.pop_front();
    burst_bits_ += frame_bits_;
    line_free_us_ = event_us_;
    head_done_us_ = -1;
    if (const std::optional<uint8_t> back = line_.carry(byte)) {
        arrive(static_cast<uint8_t>(*back & data_mask_));
    }
    start_next();
}

void Uart::arrive(uint8_t byte)
{
    if (!receiver_on_) {
        return;
    }
    if (rx_fifo_.size() >= kRxFifoSize) {
        return; // overrun: the character in the shift register is lost
    }
    rx_fifo_.push_back(byte);
    last_arrival_us_ = event_us_;
    if (rx_fifo_.size() >= kRxTriggerLevel) {
        hand_on();
    }
}

void Uart::hand_on()
{
    // The receiver may send (echo) or stop output as it takes them; the FIFO is empty first.
    std::deque<uint8_t> bytes;
    bytes.swap(rx_fifo_);
    for (uint8_t byte : bytes) {
        if (receiver_) {
            receiver_(byte);
        }
    }
}

int64_t Uart::character_us() const
{
    const long baud = baud_ > 0 ? baud_ : 9600;
    return (static_cast<int64_t>(frame_bits_) * 1'000'000 + baud - 1) / baud;
}

int64_t Uart::rx_timeout_due() const
{
    return rx_fifo_.empty() ? -1 : last_arrival_us_ + kRxTimeoutCharacters * character_us();
}

} // namespace kmb::sim
