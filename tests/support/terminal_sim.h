// kmbdiag-sim at a real terminal: a pseudo-terminal is its standard input, output and error and
// its controlling terminal, so the operator's keys reach it as they would at a desk: the line
// discipline turns Ctrl-C into a SIGINT for the simulator and Ctrl-D into the end of input. On a
// cross build the simulator runs under the build's emulator, which passes both on.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kmb::test {

class TerminalSim {
public:
    // Starts the simulator with `args` after its name (TZ=UTC).
    explicit TerminalSim(const std::vector<std::string>& args);
    // Ends a simulator still running (SIGKILL) and reaps it.
    ~TerminalSim();
    TerminalSim(const TerminalSim&) = delete;
    TerminalSim& operator=(const TerminalSim&) = delete;

    bool started() const { return child_ > 0; }

    // Types `keys` at the terminal, as they are: "\x03" is Ctrl-C, "\x04" Ctrl-D.
    void type(const std::string& keys);

    // Reads the screen until `text` has appeared after the point `from` of everything shown,
    // or `seconds` have passed; true when it appeared.
    bool wait_for(const std::string& text, double seconds, std::size_t from = 0);
    // Waits until the simulator ends (reading the screen meanwhile), no longer than `seconds`.
    // True when it ended.
    bool wait_for_exit(double seconds);

    // Everything the terminal showed so far.
    const std::string& screen() const { return screen_; }
    // How it ended: exit status, or -1 for a signal (then signal() says which), or -2 when it
    // has not ended.
    int exit_status() const { return exit_status_; }
    int signal() const { return signal_; }

private:
    // Reads what is on the terminal, waiting up to `ms`; false when the terminal has nothing more.
    bool read_screen(int ms);
    void reap(bool block);

    int master_ = -1;
    pid_t child_ = -1;
    std::string screen_;
    int exit_status_ = -2;
    int signal_ = 0;
};

} // namespace kmb::test
