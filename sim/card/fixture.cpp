#include "sim/card/fixture.h"

#include "devices/pca9557_regs.h"
#include "sim/core/wiring.h"

namespace kmb::sim {

namespace {

using namespace wiring;

constexpr uint8_t kResetLines = kResetPrimaryPin | kResetSecondaryPin;

// Every pin of both ports has a pull-up on the fixture: an output shows its drive, anything
// left floating reads high.
uint8_t pulled_up(uint8_t driven, uint8_t levels)
{
    return static_cast<uint8_t>((levels & driven) | static_cast<uint8_t>(~driven));
}

bool lit(const Pca9557& port, uint8_t pin)
{
    // The lamp drivers need the port's own drive; the weak pull-up does not light them.
    const uint8_t driven = static_cast<uint8_t>(~port.read_register(REG_CONFIG));
    return (port.read_register(REG_OUTPUT) & driven & pin) != 0;
}

} // namespace

Fixture::Fixture(I2cBus& bus, Faults& faults) : faults_(faults), reset_lines_(kResetLines)
{
    io_expander_.set_pin_levels(pulled_up);
    io_expander_.set_outputs_changed(
        [this](uint8_t driven, uint8_t levels) { expander_outputs_changed(driven, levels); });

    counter_agent_.set_pin_levels(
        [this](uint8_t driven, uint8_t levels) { return counter_agent_pin_levels(driven, levels); });
    counter_agent_.set_outputs_changed(
        [this](uint8_t driven, uint8_t levels) { counter_agent_outputs_changed(driven, levels); });
    if (faults_.enabled(Fault::CounterAgentOutputBit0Stuck)) {
        counter_agent_.set_output_stuck_high(0x01);
        counter_agent_.set_stuck_shown([this] { faults_.act(Fault::CounterAgentOutputBit0Stuck); });
        counter_agent_.set_stuck_while([this] { return faults_.active(Fault::CounterAgentOutputBit0Stuck); });
    }

    if (faults_.enabled(Fault::IoxPolarityBit0Stuck)) {
        io_expander_.set_polarity_stuck_high(0x01, [this] { faults_.act(Fault::IoxPolarityBit0Stuck); });
        io_expander_.set_stuck_while([this] { return faults_.active(Fault::IoxPolarityBit0Stuck); });
    }

    // A dead or missing port is the bus's fault layer's business, not the chip's.
    bus.attach(kIoExpanderAddress, &io_expander_);
    bus.attach(kCounterAgentAddress, &counter_agent_);
}

bool Fixture::fail_lamp() const { return lit(io_expander_, kFailLampPin); }
bool Fixture::pass_lamp() const { return lit(io_expander_, kPassLampPin); }

bool Fixture::agent_line_high(int line) const
{
    if (line == kAgentIrqLine) {
        return irq_high_;
    }
    if (line == kAgentIirqLine) {
        return iirq_high_;
    }
    return true;
}

void Fixture::expander_outputs_changed(uint8_t driven, uint8_t levels)
{
    const uint8_t pins = pulled_up(driven, levels);
    const bool irq_high = (pins & kAgentIrqPin) != 0;
    const bool iirq_high = (pins & kAgentIirqPin) != 0;
    // Both lines can move in one register write; the IRQ line is reported first.
    if (irq_high != irq_high_) {
        irq_high_ = irq_high;
        if (agent_line_changed_) {
            agent_line_changed_(kAgentIrqLine, irq_high);
        }
    }
    if (iirq_high != iirq_high_) {
        iirq_high_ = iirq_high;
        if (agent_line_changed_) {
            agent_line_changed_(kAgentIirqLine, iirq_high);
        }
    }
    trace_wires();
}

uint8_t Fixture::counter_agent_pin_levels(uint8_t driven, uint8_t levels)
{
    // Pin 7 is wired back on itself, so it reads its own drive like every other pin; a short
    // overrules the drive, and counts as met when it changes what the pin reads.
    uint8_t pins = pulled_up(driven, levels);
    if ((pins & kLoopPin) != 0 && faults_.act(Fault::CounterAgentPin7StuckLow)) {
        pins = static_cast<uint8_t>(pins & ~kLoopPin); // shorted to ground
    }
    if ((pins & kLoopPin) == 0 && faults_.active(Fault::CounterAgentPin7StuckHigh) &&
        !faults_.active(Fault::CounterAgentPin7StuckLow)) {
        faults_.act(Fault::CounterAgentPin7StuckHigh);
        pins = static_cast<uint8_t>(pins | kLoopPin); // shorted to the supply
    }
    return pins;
}

void Fixture::counter_agent_outputs_changed(uint8_t driven, uint8_t levels)
{
    // The card's reset logic watches these two lines and takes one only when it stays low for
    // a while, so a low that lasts from one register write to the next resets nothing. It
    // belongs here, timed from this change of level.
    const auto lines = static_cast<uint8_t>(pulled_up(driven, levels) & kResetLines);
    trace_wires();
    if (lines != reset_lines_) {
        reset_lines_ = lines;
        if (reset_lines_changed_) {
            reset_lines_changed_(lines);
        }
    }
}

uint8_t Fixture::counter_agent_pins_seen() const
{
    const auto driven = static_cast<uint8_t>(~counter_agent_.read_register(REG_CONFIG));
    uint8_t pins = pulled_up(driven, static_cast<uint8_t>(counter_agent_.read_register(REG_OUTPUT) & driven));
    if (faults_.active(Fault::CounterAgentPin7StuckLow)) {
        pins = static_cast<uint8_t>(pins & ~kLoopPin);
    } else if (faults_.active(Fault::CounterAgentPin7StuckHigh)) {
        pins = static_cast<uint8_t>(pins | kLoopPin);
    }
    return pins;
}

void Fixture::set_trace(Trace* trace)
{
    trace_ = trace;
    trace_wires();
}

void Fixture::trace_wires()
{
    if (trace_ == nullptr) {
        return;
    }
    trace_->wire(Wire::FailLamp, fail_lamp() ? 1 : 0);
    trace_->wire(Wire::PassLamp, pass_lamp() ? 1 : 0);
    trace_->wire(Wire::IoxPins, io_expander_.pins());
    const uint8_t counter_agent_pins = counter_agent_pins_seen();
    trace_->wire(Wire::CounterAgentPins, counter_agent_pins);
    trace_->wire(Wire::ResetPrimaryN, (counter_agent_pins & kResetPrimaryPin) != 0 ? 1 : 0);
    trace_->wire(Wire::ResetSecondaryN, (counter_agent_pins & kResetSecondaryPin) != 0 ? 1 : 0);
}

void Fixture::restore_counter_agent(const Pca9557::Registers& registers)
{
    counter_agent_.restore(registers);
    const auto driven = static_cast<uint8_t>(~registers.config);
    reset_lines_ = static_cast<uint8_t>(pulled_up(driven, static_cast<uint8_t>(registers.output & driven)) & kResetLines);
}

} // namespace kmb::sim
