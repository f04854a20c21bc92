#include "sim/core/clock.h"

#include <algorithm>
#include <cerrno>
#include <time.h>

namespace kmb::sim {

namespace {

// A day at a time, so that no wait converts to more seconds than a 32-bit time_t holds.
constexpr double kLongestNap = 86400;

// Console waits longer than this (a terminal left for years at the top speed) count as this.
constexpr double kLongestConsoleWaitUs = 1e15;

void wall_sleep(double seconds)
{
    while (seconds > 0) {
        const double nap = std::min(seconds, kLongestNap);
        seconds -= nap;
        timespec left{};
        left.tv_sec = static_cast<time_t>(nap);
        left.tv_nsec = static_cast<long>((nap - static_cast<double>(left.tv_sec)) * 1e9);
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {
        }
    }
}

} // namespace

VirtualClock::VirtualClock(time_t start_epoch, double speed) : start_epoch_(start_epoch), speed_(speed) {}

time_t VirtualClock::epoch() const
{
    // The card counts seconds in 32 bits and wraps past 2038 as its kernel does, whatever the
    // width of the host's time_t.
    const int64_t seconds = static_cast<int64_t>(start_epoch_) + now_us_ / 1000000;
    return static_cast<time_t>(static_cast<int32_t>(static_cast<uint32_t>(seconds)));
}

void VirtualClock::advance(int64_t us)
{
    if (us <= 0) {
        return;
    }
    if (halted_) {
        now_us_ += us;
        return;
    }
    const int64_t target = now_us_ + us;
    // Step from timer to timer so that each device sees the time it fell due at, and pace
    // the wall clock piecewise so that a Ctrl-C from a timer lands when it should.
    while (true) {
        const int64_t due = next_due_us();
        const int64_t stop = (due >= 0 && due <= target) ? due : target;
        if (speed_ > 0) {
            wall_sleep(static_cast<double>(stop - now_us_) / 1e6 / speed_);
        }
        now_us_ = stop;
        if (stop == target && (due < 0 || due > target)) {
            break;
        }
        run_due(now_us_, false);
        if (halted_) {
            now_us_ = target;
            break;
        }
        if (now_us_ >= target) {
            break;
        }
    }
}

void VirtualClock::after(int64_t delay_us, std::function<void()> action, bool operator_event)
{
    timers_.push_back(Timer{now_us_ + std::max<int64_t>(delay_us, 0), next_order_++, std::move(action),
                            operator_event});
}

void VirtualClock::run_device_timers()
{
    if (speed_ > 0 || halted_) {
        return;
    }
    while (true) {
        int64_t due = -1;
        for (const Timer& t : timers_) {
            if (!t.operator_event && (due < 0 || t.due_us < due)) {
                due = t.due_us;
            }
        }
        if (due < 0) {
            return;
        }
        now_us_ = std::max(now_us_, due);
        run_due(now_us_, true);
        if (halted_) {
            return;
        }
    }
}

void VirtualClock::console_waited(double wall_seconds)
{
    if (speed_ > 0 && wall_seconds > 0) {
        const auto us = static_cast<int64_t>(std::min(wall_seconds * speed_ * 1e6, kLongestConsoleWaitUs));
        const double saved = speed_;
        speed_ = 0; // the wall time has passed already
        advance(us);
        speed_ = saved;
    }
}

int64_t VirtualClock::next_due_us() const
{
    int64_t due = -1;
    for (const Timer& t : timers_) {
        if (due < 0 || t.due_us < due) {
            due = t.due_us;
        }
    }
    return due;
}

void VirtualClock::run_due(int64_t until_us, bool device_timers_only)
{
    // A timer's action may set new timers, so take one at a time, earliest first.
    while (true) {
        auto pick = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->due_us > until_us || (device_timers_only && it->operator_event)) {
                continue;
            }
            if (pick == timers_.end() || it->due_us < pick->due_us ||
                (it->due_us == pick->due_us && it->order < pick->order)) {
                pick = it;
            }
        }
        if (pick == timers_.end()) {
            return;
        }
        std::function<void()> action = std::move(pick->action);
        timers_.erase(pick);
        action();
        if (halted_) {
            return;
        }
    }
}

} // namespace kmb::sim
