// The card's timers while the operator thinks at a prompt, at a speed above 0: the watchdog that
// is about to bite does so while the prompt waits, and a scripted Ctrl-C comes when its time
// does, not when the operator next presses Enter.
#pragma once

#include <cstdio>
#include <functional>

#include "sim/core/clock.h"

namespace kmb::sim {

// Waits for input on `in` no longer than until the clock's next timer, lets that wall time pass
// on the card's clock (running the timer), calls `after_time_passed` (which may end the wait by
// throwing) and looks again, until input is there or no timer is left. At speed 0 it returns at
// once: there the console's own wait runs the timers.
void wait_for_operator(VirtualClock& clock, FILE* in, const std::function<void()>& after_time_passed);
// The same for input on the descriptor `fd`, where `buffered` tells whether bytes already read
// off it wait for the program (poll cannot see those).
void wait_for_operator(VirtualClock& clock, int fd, const std::function<bool()>& buffered,
                       const std::function<void()>& after_time_passed);

} // namespace kmb::sim
