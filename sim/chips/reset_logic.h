// The card's reset logic behind the counter agent's two reset lines. A line held low for a
// while (some 100 ms of card time) resets the card into the primary or the secondary image; a
// low that ends sooner, as between two register writes, resets nothing.
#pragma once

#include <cstdint>
#include <functional>

#include "sim/core/clock.h"
#include "sim/core/faults.h"

namespace kmb::sim {

class ResetLogic {
public:
    // `reset` is called with the reason the CPLD will show.
    using Reset = std::function<void(uint8_t reason)>;
    ResetLogic(VirtualClock& clock, Faults& faults, Reset reset)
        : clock_(clock), faults_(faults), reset_(std::move(reset))
    {
    }

    // The levels of the two lines (bit set: high), as they were when the card came up.
    void power_on(uint8_t lines) { lines_ = lines; }
    // The lines changed level.
    void lines_changed(uint8_t lines);

private:
    void held(uint8_t line, uint64_t low_since);

    VirtualClock& clock_;
    Faults& faults_;
    Reset reset_;
    uint8_t lines_ = 0xFF;
    uint64_t edges_ = 0; // counts falling edges, so a timer knows whether its low has lasted
};

} // namespace kmb::sim
