// The card's serial port /dev/tts/0 as its tty layer presents it: the attributes kept with the
// port from one open to the next, the line discipline's input and output processing, reads
// that honour canonical mode or VMIN and VTIME on the card's clock, the modem-control
// requests, tcflush, and the UART with the fixture's loopback connector behind it.
//
// What the model leaves out: echo shows no control characters as ^X, the line editing
// characters (erase, kill) are plain data, a Ctrl-C character raises no signal (the port is
// nobody's controlling terminal), and an open never waits for carrier. A wait that the card
// would make for ever, with nothing on the line that could end it, ends at once with what has
// come (or EAGAIN), and no wait lasts beyond a minute of card time, so that a simulated port
// never hangs the simulator.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <termios.h>

#include "sim/chips/serial_loopback.h"
#include "sim/chips/uart.h"
#include "sim/core/clock.h"
#include "sim/core/open_file.h"
#include "sim/core/trace.h"

namespace kmb::sim {

class SerialPort {
public:
    SerialPort(VirtualClock& clock, SerialLoopback& line, Trace& trace);
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // A descriptor of the port; the first open raises DTR and RTS (unless the speed is B0).
    std::unique_ptr<OpenFile> open(const std::string& path, int flags);

    // What the port holds now, as the fixture could see it.
    const termios& attributes() const { return attr_; }
    int modem_control() const { return uart_.modem_control(); }
    int open_count() const { return opens_; }

    // The calls of one descriptor whose status flags are `flags`.
    ssize_t read(int flags, void* buf, size_t count);
    ssize_t write(int flags, const void* buf, size_t count);
    int ioctl(unsigned long request, unsigned long arg);
    int get_attributes(termios* attr);
    int set_attributes(int action, const termios* attr);
    int flush(int queue);
    // The last descriptor going: output drains (a while at most), the lines drop on HUPCL,
    // and what was received and not read is gone.
    void close_one();

private:
    void receive(uint8_t byte);
    bool is_line_end(uint8_t byte) const;
    size_t take(uint8_t* out, size_t count);
    ssize_t read_raw(bool nonblocking, uint8_t* out, size_t count);
    // Lets card time pass until `ready` or `deadline_us` (at most a minute ahead); false when it
    // gave up, at the deadline or because nothing on the line could make it ready.
    bool wait(const std::function<bool()>& ready, int64_t deadline_us = -1);
    void drop_input();
    void trace_attributes();
    // DTR and RTS as the driver sets them, and the status inputs they bring back.
    void set_modem_control(int lines);
    void trace_modem_lines();

    VirtualClock& clock_;
    Trace& trace_;
    const SerialLoopback& loop_;
    Uart uart_;
    termios attr_{};
    std::deque<uint8_t> input_; // the line discipline's read buffer
    int lines_ = 0;             // complete lines in it, in canonical mode
    int64_t last_input_us_ = 0; // when the last byte reached it
    int opens_ = 0;
};

} // namespace kmb::sim
