// The card's own clock. It moves only when the program waits (sleep, usleep, a transfer on a
// bus, a shell command) and, at a speed above 0, while the console waits for the operator.
// Devices hang one-shot timers on it; the operator's events (a scripted Ctrl-C) ride on it
// too but never pull it forward.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <vector>

namespace kmb::sim {

class VirtualClock {
public:
    // `speed` is card seconds per wall second; 0 lets no wall time pass.
    VirtualClock(time_t start_epoch, double speed);

    int64_t now_us() const { return now_us_; }   // card time since the diagnostic started
    time_t epoch() const;                         // the card's calendar time
    double speed() const { return speed_; }

    // The program waits `us`: timers fall due in order as the clock passes them, and at a
    // speed above 0 the wall clock is paced to match.
    void advance(int64_t us);

    // Run `action` once when the clock reaches now + `delay_us`. A device timer is pulled
    // forward by a console wait at speed 0 (`run_device_timers`); an operator event is not.
    void after(int64_t delay_us, std::function<void()> action, bool operator_event = false);

    // The console is about to wait: at speed 0 the device timers already set run now, as
    // an operator is never faster than the card's timers.
    void run_device_timers();

    // Wall time spent at the console (speed above 0) moves the card's clock too.
    void console_waited(double wall_seconds);

    // The card time of the earliest timer, or -1 when none is set.
    int64_t next_due_us() const;

    // The card has gone down (a reset): from here its clock only counts, at once, and no
    // timer runs again, so every wait of the program still in hand ends without delay.
    void halt() { halted_ = true; }
    bool halted() const { return halted_; }

private:
    struct Timer {
        int64_t due_us;
        uint64_t order;
        std::function<void()> action;
        bool operator_event;
    };
    void run_due(int64_t until_us, bool device_timers_only);

    time_t start_epoch_;
    double speed_;
    int64_t now_us_ = 0;
    uint64_t next_order_ = 0;
    std::vector<Timer> timers_;
    bool halted_ = false;
};

} // namespace kmb::sim
