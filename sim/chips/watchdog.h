// The card's watchdog and its driver module vexa_wdog. While the module is loaded it keeps the
// watchdog fed; once it is unloaded nobody does, and the watchdog resets the card some two
// seconds later.
#pragma once

#include <functional>

#include "sim/core/clock.h"
#include "sim/core/faults.h"

namespace kmb::sim {

inline constexpr const char* kWatchdogModule = "vexa_wdog";

class Watchdog {
public:
    using Bite = std::function<void()>;
    Watchdog(VirtualClock& clock, Faults& faults, Bite bite) : clock_(clock), faults_(faults), bite_(std::move(bite)) {}

    // The module went: the watchdog runs out unless it is dead.
    void module_unloaded();

private:
    VirtualClock& clock_;
    Faults& faults_;
    Bite bite_;
    bool running_out_ = false;
};

} // namespace kmb::sim
