// The fixture's loopback connector on the card's serial port, and what a bad connector or a bad
// line does: a missing plug, a missing DTR wire, a ring indicator stuck on, a lost byte, a
// corrupting line driver. The port asks it what its status inputs read and what comes back for
// each byte it sends.
#pragma once

#include <cstdint>
#include <optional>

#include "sim/core/faults.h"

namespace kmb::sim {

class SerialLoopback {
public:
    explicit SerialLoopback(Faults& faults) : faults_(faults) {}

    // The status inputs (TIOCM_CTS, TIOCM_CAR, TIOCM_DSR, TIOCM_RNG) that the port reads while it
    // drives `outputs` (TIOCM_DTR, TIOCM_RTS; other bits are ignored).
    int status_inputs(int outputs);
    // The same levels as the connector now carries them, meeting no fault: for the trace.
    int status_levels(int outputs) const;

    // What reaches the receive pin for one byte sent on the transmit pin; nullopt when nothing
    // does.
    std::optional<uint8_t> carry(uint8_t byte);

private:
    // `on` tells whether a fault is in the way; the port's read also marks it as met.
    template <typename On>
    static int inputs_for(int outputs, On on);

    Faults& faults_;
    uint64_t carried_ = 0; // bytes that reached the receive pin since power-on
};

} // namespace kmb::sim
