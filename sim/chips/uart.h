// The card's serial port controller, a 16550-compatible UART as its driver runs it: the
// transmit buffer draining through the shift register at the line's speed, the receive FIFO
// handing bytes on at its trigger level or after four quiet character times, the modem-control
// outputs and status inputs. It knows the card's time only through the clock; the line beyond
// its pins is the loopback connector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <termios.h>

#include "sim/chips/serial_loopback.h"
#include "sim/core/clock.h"

namespace kmb::sim {

class Uart {
public:
    // Takes each received byte, in order, when the receive FIFO gives it up.
    using Receiver = std::function<void(uint8_t byte)>;

    Uart(VirtualClock& clock, SerialLoopback& line) : clock_(clock), line_(line) {}
    void set_receiver(Receiver receiver) { receiver_ = std::move(receiver); }

    // The line settings of a c_cflag: speed (B0 hangs the line up: nothing is sent), character
    // size, parity and stop bits, the receiver (CREAD) and CTS flow control (CRTSCTS).
    void configure(tcflag_t cflag);
    long baud() const { return baud_; }
    // Start bit, data bits, parity and stop bits of one character on the wire.
    int frame_bits() const { return frame_bits_; }

    // The TIOCMGET word: the outputs as set, and the status inputs the line gives them.
    int modem_lines();
    int modem_control() const { return mctrl_; }
    // DTR and RTS; the driver's other output bits (OUT1, OUT2, LOOP) are not modelled, and
    // nothing else is an output.
    void set_modem_control(int bits);

    // The driver's transmit buffer in front of the shift register.
    size_t tx_room() const;
    size_t tx_pending() const { return tx_.size(); }
    void send(uint8_t byte);
    // Output stopped by a received STOP character (software flow control) or started again.
    void set_tx_stopped(bool stopped);
    bool tx_stopped() const { return stopped_; }
    void flush_tx();
    void flush_rx();

    // Everything due by the card's time now happens: characters finish on the wire and come
    // back, and the receive FIFO hands them on.
    void catch_up();
    // The card time of the next thing the controller does of itself, or -1 when it is idle.
    int64_t next_event_us() const;
    // The card time as the controller sees it: while it catches up, the time of the event in
    // hand (a receiver that reacts to a byte reacts when the byte came).
    int64_t time_us() const { return in_event_ ? event_us_ : clock_.now_us(); }

private:
    int status_inputs();
    bool can_send();
    void start_next();
    void finish_character();
    void arrive(uint8_t byte);
    void hand_on();
    int64_t character_us() const;
    int64_t rx_timeout_due() const;

    VirtualClock& clock_;
    SerialLoopback& line_;
    Receiver receiver_;

    long baud_ = 9600;
    int frame_bits_ = 10;
    uint8_t data_mask_ = 0xFF;
    bool receiver_on_ = true;
    bool cts_flow_ = false;
    int mctrl_ = 0;
    bool stopped_ = false;

    std::deque<uint8_t> tx_;
    int64_t head_done_us_ = -1; // when the character on the wire is through; -1: none is
    int64_t line_free_us_ = 0;  // when the shift register last fell idle
    // Characters sent back to back are timed from the start of their burst, so that rounding
    // to whole microseconds does not add up.
    int64_t burst_start_us_ = 0;
    int64_t burst_bits_ = 0;
    long burst_baud_ = 0;

    std::deque<uint8_t> rx_fifo_;
    int64_t last_arrival_us_ = 0;

    bool in_event_ = false; // catching up: `event_us_` is the time of the event in hand
    int64_t event_us_ = 0;
};

} // namespace kmb::sim
