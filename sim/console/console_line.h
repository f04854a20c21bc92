// The card's console is a serial line: what the program prints goes into the kernel's
// transmit buffer, which drains at the line's speed; a write waits, in card time, while the
// buffer is full. The simulator gives the program a stdio stream of its own in place of
// standard output, so that every printing loop lets card time pass (and a scripted Ctrl-C
// arrives), while output that fits the buffer costs nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace kmb::sim {

class VirtualClock;

class ConsoleLine {
public:
    static constexpr int64_t kTransmitBuffer = 4096; // bytes
    static constexpr int kBitsPerByte = 10;          // start, eight data bits, stop

    // Output goes on to the host's descriptor `host_fd`; `bits_per_second` is the line's speed.
    ConsoleLine(VirtualClock& clock, int host_fd, int bits_per_second = 115200);
    ~ConsoleLine();
    ConsoleLine(const ConsoleLine&) = delete;
    ConsoleLine& operator=(const ConsoleLine&) = delete;

    // The stream to hand to the program as its standard output; nullptr when none could be made.
    FILE* stream() const { return stream_; }

    // The operator waits at the console: what was sent has been read off the line by then.
    void drained();

    // Called after each write that reached the line (the hang-up watch).
    void on_write(std::function<void()> hook) { on_write_ = std::move(hook); }
    // Told every byte as it goes onto the line (the console log, the report's verdicts).
    void on_output(std::function<void(const char* data, size_t size)> hook) { on_output_ = std::move(hook); }
    // The operator's answer at a prompt, as the terminal echoes it: told to the same hook,
    // never sent on the line.
    void typed(const char* text)
    {
        if (on_output_ && text != nullptr) {
            on_output_(text, std::char_traits<char>::length(text));
        }
    }

    // Bytes still in the transmit buffer at the card's present time.
    int64_t backlog() const;

private:
    static ssize_t write_cookie(void* cookie, const char* data, size_t size);
    static int close_cookie(void* cookie);
    void send(const char* data, size_t size);
    void forward(const char* data, size_t size);

    VirtualClock& clock_;
    int host_fd_;
    double bytes_per_us_;
    double backlog_ = 0;     // bytes in the buffer at card time `since_us_`
    int64_t since_us_ = 0;
    FILE* stream_ = nullptr;
    std::function<void()> on_write_;
    std::function<void(const char* data, size_t size)> on_output_;
};

} // namespace kmb::sim
