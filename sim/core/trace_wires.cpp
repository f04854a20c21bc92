#include "sim/core/trace_wires.h"

#include <iterator>

namespace kmb::sim {

namespace {

constexpr WireInfo kWires[] = {
    {Wire::FailLamp, "fixture", "lamp_fail", 1},
    {Wire::PassLamp, "fixture", "lamp_pass", 1},
    {Wire::IoxPins, "fixture.iox", "pins", 8},
    {Wire::CounterAgentPins, "fixture.counter_agent", "pins", 8},
    {Wire::ResetPrimaryN, "fixture.counter_agent", "reset_primary_n", 1},
    {Wire::ResetSecondaryN, "fixture.counter_agent", "reset_secondary_n", 1},
    {Wire::AgentIrqN, "card.irq", "agent_irq_n", 1},
    {Wire::AgentIirqN, "card.irq", "agent_iirq_n", 1},
    {Wire::Lm77IntN, "card.lm77", "int_n", 1},
    {Wire::Lm77TCritAN, "card.lm77", "t_crit_a_n", 1},
    {Wire::SerialDtr, "card.serial", "dtr", 1},
    {Wire::SerialRts, "card.serial", "rts", 1},
    {Wire::SerialCts, "card.serial", "cts", 1},
    {Wire::SerialDcd, "card.serial", "dcd", 1},
    {Wire::SerialDsr, "card.serial", "dsr", 1},
    {Wire::SerialRi, "card.serial", "ri", 1},
    {Wire::WatchdogFed, "card.watchdog", "fed", 1},
    {Wire::CardResetN, "card", "reset_n", 1},
};

constexpr bool in_order()
{
    for (std::size_t i = 0; i < std::size(kWires); ++i) {
        if (static_cast<std::size_t>(kWires[i].wire) != i) {
            return false;
        }
    }
    return true;
}
static_assert(std::size(kWires) == kWireCount && in_order());

} // namespace

std::span<const WireInfo> wire_catalogue() { return kWires; }

const WireInfo& wire_info(Wire wire) { return kWires[static_cast<std::size_t>(wire)]; }

} // namespace kmb::sim
