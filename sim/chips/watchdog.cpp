#include "sim/chips/watchdog.h"

namespace kmb::sim {

namespace {

// The watchdog's timeout as the card's boot loader sets it.
constexpr int64_t kTimeoutUs = 2'000'000;

} // namespace

void Watchdog::module_unloaded()
{
    if (running_out_ || faults_.act(Fault::WatchdogDead)) {
        return;
    }
    running_out_ = true;
    clock_.after(kTimeoutUs, [this] { bite_(); });
}

} // namespace kmb::sim
