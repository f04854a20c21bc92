// The console of the simulated card as SimOs serves it: a scripted input for tests, the
// operator's hang-up, and the bounded line read at a prompt, where the card's timers run while
// the operator thinks.
#include "sim/card/sim_os.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

#include "os/linux_os.h"
#include "sim/console/operator_wait.h"

namespace kmb::sim {

void SimOs::set_console_input(const std::string& text)
{
    if (console_ != nullptr) {
        std::fclose(console_);
        console_ = nullptr;
    }
    console_text_ = text;
    // fmemopen of an empty buffer is not portable; an empty script reads as end of input.
    console_ = console_text_.empty() ? std::fopen("/dev/null", "r")
                                     : fmemopen(console_text_.data(), console_text_.size(), "r");
}

void SimOs::check_hang_up()
{
    if (!hang_up_watch_ || hung_up_ || reading_ || console_ != nullptr) {
        return;
    }
    // Before the program's handler is in place a Ctrl-C would end it; the prompt meets the end
    // of input then, as it always has.
    struct sigaction current{};
    if (::sigaction(SIGINT, nullptr, &current) != 0 || current.sa_handler == SIG_DFL) {
        return;
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    if (::poll(&in, 1, 0) <= 0 || (in.revents & (POLLIN | POLLHUP)) == 0) {
        return; // nothing typed and nobody gone, or lines typed ahead still buffered
    }
    // Something is there: a line typed ahead (put back for its prompt) or the end.
    const int c = std::getc(stdin);
    if (c != EOF) {
        std::ungetc(c, stdin);
        return;
    }
    if (std::feof(stdin) != 0) {
        hung_up_ = true;
        std::raise(SIGINT);
    } else {
        std::clearerr(stdin);
    }
}

char* SimOs::read_line(char* buf, int size)
{
    card_.throw_if_reset();
    std::fflush(stdout); // the prompt goes out on the line before the operator answers it
    card_.clock().run_device_timers();
    card_.throw_if_reset(); // the watchdog bit while the prompt waited
    reading_ = true;
    if (console_line_ != nullptr) {
        console_line_->drained();
    }
    if (console_ == nullptr) {
        wait_for_operator(card_.clock(), stdin, [this] { card_.throw_if_reset(); });
    }
    const auto started = std::chrono::steady_clock::now();
    char* line = os::read_bounded_line(console_ != nullptr ? console_ : stdin, buf, size);
    reading_ = false;
    if (console_line_ != nullptr) {
        console_line_->typed(line); // the terminal's echo, for the console log
    }
    const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started;
    card_.clock().console_waited(waited.count());
    card_.throw_if_reset();
    return line;
}

} // namespace kmb::sim
