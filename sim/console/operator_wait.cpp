#include "sim/console/operator_wait.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <poll.h>

namespace kmb::sim {

namespace {

// A line typed ahead and already read into the stream's buffer: poll cannot see it.
bool buffered(FILE* in) { return in->_IO_read_ptr < in->_IO_read_end; }

} // namespace

void wait_for_operator(VirtualClock& clock, FILE* in, const std::function<void()>& after_time_passed)
{
    wait_for_operator(clock, fileno(in), [in] { return buffered(in); }, after_time_passed);
}

void wait_for_operator(VirtualClock& clock, int fd, const std::function<bool()>& buffered,
                       const std::function<void()>& after_time_passed)
{
    if (clock.speed() <= 0) {
        return;
    }
    while (true) {
        const int64_t due = clock.next_due_us();
        if (due < 0 || buffered()) {
            return;
        }
        const double until_due_s = static_cast<double>(std::max<int64_t>(0, due - clock.now_us())) / 1e6 / clock.speed();
        const auto timeout_ms = static_cast<int>(std::min(std::ceil(until_due_s * 1000), static_cast<double>(INT_MAX)));
        pollfd p{fd, POLLIN, 0};
        const auto started = std::chrono::steady_clock::now();
        const int ready = ::poll(&p, 1, timeout_ms);
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started;
        // A timeout means the timer's time has come, even if the wall clock fell a little short.
        clock.console_waited(ready == 0 ? std::max(waited.count(), until_due_s) : waited.count());
        after_time_passed();
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            return;
        }
    }
}

} // namespace kmb::sim
