// The card resetting: the program on it ends where it stands, with nothing more on the console.
// The simulated card throws this from the device that resets it (after keeping what must survive
// in the state folder); kmbdiag-sim ends with kResetExitStatus.
#pragma once

#include <cstdint>

namespace kmb::sim {

inline constexpr int kResetExitStatus = 3;

struct CardReset {
    uint8_t reason; // what the CPLD shows at the next start
};

} // namespace kmb::sim
