// The console of the simulated card as SimOs serves it: a scripted input for tests, the
// operator's hang-up, and the bounded line read at a prompt, where the card's timers run while
// the operator thinks.
#include "sim/card/sim_os.h"

#include <chrono>
#include <csignal>
#include <cstdio>

#include "sim/console/operator_wait.h"

namespace kmb::sim {

void SimOs::set_console_input(const std::string& text)
{
    console_ = ConsoleInput::scripted(text);
    scripted_ = true;
}

void SimOs::check_hang_up()
{
    if (!hang_up_watch_ || reading_ || scripted_ || checking_) {
        return;
    }
    // Before the program's handler is in place a Ctrl-C would end it; the prompt meets the end
    // of input then, as it always has.
    struct sigaction current{};
    if (::sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_DFL ||
        current.sa_handler == SIG_IGN) {
        return;
    }
    checking_ = true;
    // Reads what is waiting into the console's line buffer (typed-ahead lines stay there for
    // their prompts); no stdio, so nothing is flushed and no write comes back here.
    const bool ended = console_.look_for_end();
    checking_ = false;
    if (ended && card_.scripted_sigints_pending() == 0) {
        // The line stays down: the loop running now ends after its pass, as at a Ctrl-C. A
        // Ctrl-C that the script timed (--sigint-at) is still to come: that one ends the loop.
        std::raise(SIGINT);
    }
}

char* SimOs::read_line(char* buf, int size)
{
    card_.throw_if_reset();
    std::fflush(stdout); // the prompt goes out on the line before the operator answers it
    card_.clock().run_device_timers();
    card_.throw_if_reset(); // the watchdog bit while the prompt waited
    reading_ = true;
    struct Reading {
        bool& flag;
        ~Reading() { flag = false; } // also when a reset ends the wait
    } reading{reading_};
    if (console_line_ != nullptr) {
        console_line_->drained();
    }
    if (!scripted_) {
        wait_for_operator(
            card_.clock(), console_.fd(), [this] { return console_.buffered() || console_.ended(); },
            [this] { card_.throw_if_reset(); });
    }
    const auto started = std::chrono::steady_clock::now();
    char* line = console_.read_line(buf, size);
    if (console_line_ != nullptr) {
        console_line_->typed(line); // the terminal's echo, for the console log
    }
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started;
    card_.clock().console_waited(waited.count());
    card_.throw_if_reset();
    return line;
}

} // namespace kmb::sim
