// The card's interrupt controller as the agent driver uses it: lines 25 to 28 are level
// inputs, asserted while their source holds them low. The driver arms a line; an armed line
// that is asserted is taken once (counted in /proc/interrupts) and disarmed, so the next
// assertion needs the next arming. The wiring between each source and the controller can be
// broken (open) or shorted to ground (stuck asserted) by the fixture's or the card's faults.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/core/faults.h"
#include "sim/core/trace.h"

namespace kmb::sim {

class InterruptLines {
public:
    explicit InterruptLines(Faults& faults);

    // The level that a line's source drives: true while asserted (low).
    void set_source(int line, bool asserted);
    void arm(int line);
    void disarm(int line);

    bool armed(int line) const;
    // The level the controller sees, after the wiring's faults.
    bool asserted(int line);
    uint32_t count(int line) const;

    // /proc/interrupts as the card's kernel lays it out, one count column for its one CPU;
    // `uptime_us` drives the local timer's count.
    std::string proc_interrupts(int64_t uptime_us) const;

    static constexpr int kLines = 32; // what the agent driver accepts

    // Every interrupt taken, and the level of each line with a source, go to `trace`.
    void set_trace(Trace* trace);

private:
    void take_if_due(int line);
    // The lines' levels at the controller as the wiring's faults now leave them, marking none.
    void trace_levels();

    Faults& faults_;
    Trace* trace_ = nullptr;
    std::array<bool, kLines> source_{};
    std::array<bool, kLines> armed_{};
    std::array<uint32_t, kLines> count_{};
};

} // namespace kmb::sim
