// The card's and the fixture's lines that a waveform shows: each with the scope and name a
// viewer lists it under and its width in bits. Levels are as on the wire: an active-low line
// reads 0 while asserted.
#pragma once

#include <cstddef>
#include <span>

namespace kmb::sim {

enum class Wire {
    FailLamp,         // the fixture's fail lamp: 1 while lit
    PassLamp,         // the fixture's pass lamp: 1 while lit
    IoxPins,          // the I/O expander's eight pins
    CounterAgentPins, // the counter agent's eight pins
    ResetPrimaryN,    // the counter agent's reset-into-primary line
    ResetSecondaryN,  // ... reset-into-secondary line
    AgentIrqN,        // the host agent's IRQ line at the card's controller (25)
    AgentIirqN,       // ... IIRQ line (26)
    Lm77IntN,         // the LM77's INT output (27)
    Lm77TCritAN,      // the LM77's T_CRIT_A output (28)
    SerialDtr,        // the serial port's modem lines as the port's pins carry them
    SerialRts,
    SerialCts,
    SerialDcd,
    SerialDsr,
    SerialRi,
    WatchdogFed,      // 1 while the watchdog's module feeds it
    CardResetN,       // the card's reset: 0 once the card has gone down
    Count_
};

struct WireInfo {
    Wire wire;
    const char* scope; // "fixture", "card.lm77"
    const char* name;  // "lamp_fail"
    int width;
};

std::span<const WireInfo> wire_catalogue();
const WireInfo& wire_info(Wire wire);
inline constexpr std::size_t kWireCount = static_cast<std::size_t>(Wire::Count_);

} // namespace kmb::sim
