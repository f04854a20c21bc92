// The factory test fixture around the card: the I/O expander at 0x18 with the pass and fail
// lamps and the host agent's two interrupt lines, and the counter agent at 0x1F with the card's
// reset lines and pin 7 looped back on itself.
#pragma once

#include <functional>

#include "sim/chips/i2c_bus.h"
#include "sim/chips/pca9557.h"
#include "sim/core/faults.h"
#include "sim/core/trace.h"

namespace kmb::sim {

class Fixture {
public:
    // Puts the two ports on `bus` at the addresses they are strapped to.
    Fixture(I2cBus& bus, Faults& faults);
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    Pca9557& io_expander() { return io_expander_; }
    Pca9557& counter_agent() { return counter_agent_; }

    bool fail_lamp() const;
    bool pass_lamp() const;

    // The level of the host agent's IRQ (25) and IIRQ (26) lines as the expander drives them
    // (true: high, not asserted); the agent driver listens to their changes.
    using AgentLineChanged = std::function<void(int line, bool high)>;
    void set_agent_line_changed(AgentLineChanged fn) { agent_line_changed_ = std::move(fn); }
    bool agent_line_high(int line) const;

    // The levels of the counter agent's reset-into-primary and reset-into-secondary lines
    // (bits 0x01 and 0x02; set: high, idle).
    uint8_t reset_lines() const { return reset_lines_; }
    // Told when the reset lines change level.
    void set_reset_lines_changed(std::function<void(uint8_t lines)> fn) { reset_lines_changed_ = std::move(fn); }
    // The counter agent belongs to the fixture and keeps its registers while the card is off.
    void restore_counter_agent(const Pca9557::Registers& registers);

    // The lamps and both ports' pins go to `trace` as they change; told now what they are.
    void set_trace(Trace* trace);


private:
    void expander_outputs_changed(uint8_t driven, uint8_t levels);
    void counter_agent_outputs_changed(uint8_t driven, uint8_t levels);
    uint8_t counter_agent_pin_levels(uint8_t driven, uint8_t levels);
    // What the counter agent's pins are at, for the trace: the shorts that are on now, with
    // nothing marked as met (looking at a pin is not the diagnostic meeting the fault).
    uint8_t counter_agent_pins_seen() const;
    void trace_wires();

    Faults& faults_;
    Pca9557 io_expander_;
    Pca9557 counter_agent_;
    AgentLineChanged agent_line_changed_;
    bool irq_high_ = true;  // pulled up while nothing drives it
    bool iirq_high_ = true;
    uint8_t reset_lines_;
    std::function<void(uint8_t lines)> reset_lines_changed_;
    Trace* trace_ = nullptr;
};

} // namespace kmb::sim
