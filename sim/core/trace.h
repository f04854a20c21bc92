// What the diagnostic did to the simulated card, in order and stamped with card time: bus
// transfers, driver requests, termios and modem-line changes, PHY requests, shell commands,
// interrupts taken, lamps, faults taking effect. Tests keep the lines in memory to check the
// diagnostic's traffic; kmbdiag-sim hands them to sinks (a text file, a waveform). With neither
// it keeps nothing, so a long soak does not grow it and pays only for the check.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/core/trace_wires.h"

namespace kmb::sim {

class VirtualClock;

// One transfer on the card's I2C bus, as the bus carried it from its start condition.
struct I2cTransfer {
    int64_t start_us;
    uint16_t address;
    bool read;
    bool address_acked; // a slave took its address; without it no byte follows
    bool acked;         // and took (or gave) every byte
    const uint8_t* data;
    std::size_t count;
};

// Where a run's events go besides the tests' memory. Each call carries the card time it
// happened at; the order of calls is the order of events.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    virtual void line(int64_t /*us*/, std::string_view /*text*/) {}
    // A line changed level; also called once for every known line when the sink is added.
    virtual void wire(int64_t /*us*/, Wire /*wire*/, uint32_t /*level*/) {}
    virtual void i2c(const I2cTransfer& /*transfer*/) {}
};

class Trace {
public:
    // Keeps the lines in memory for a test to read.
    void enable(bool on) { on_ = on; }
    // Whether anyone takes the events: callers skip building a line when nobody does.
    bool enabled() const { return on_ || !sinks_.empty(); }
    // The clock that stamps every event; without one, events happen at 0.
    void set_clock(const VirtualClock* clock) { clock_ = clock; }
    int64_t now_us() const;

    // The sink takes every event from now on, starting with the lines' present levels.
    void add_sink(TraceSink* sink);
    void remove_sink(TraceSink* sink);

    void note(std::string line);
    // A bus's line: the sinks take it naming the bus that carried it ("i2c 0x1f w 01 00 on
    // /dev/i2c/0"), for the engineer who reads a whole card's trace; the lines kept in memory
    // leave the bus out, as a test watches the one bus it built.
    void note_on_bus(std::string line, std::string_view bus);
    // A line's level as its driver now drives it; noted only when it changed.
    void wire(Wire wire, uint32_t level);
    // The level last told, or -1 when it is not known yet.
    int64_t level(Wire wire) const { return levels_[static_cast<std::size_t>(wire)]; }
    // The bus tells each transfer after it ended; its text line is the bus's own.
    void i2c(const I2cTransfer& transfer);

    const std::vector<std::string>& lines() const { return lines_; }
    void clear() { lines_.clear(); }

private:
    bool on_ = false;
    const VirtualClock* clock_ = nullptr;
    std::vector<TraceSink*> sinks_;
    std::vector<std::string> lines_;
    std::array<int64_t, kWireCount> levels_ = filled_unknown();

    static constexpr std::array<int64_t, kWireCount> filled_unknown()
    {
        std::array<int64_t, kWireCount> a{};
        a.fill(-1);
        return a;
    }
};

// "12.000345": a card time in seconds with its microseconds, as every trace line starts.
std::string card_seconds(int64_t us);

} // namespace kmb::sim
