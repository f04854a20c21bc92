// One of the card's daemons (kmb-agentd-sim, kmb-seld-sim) as a process of its own, on the
// simulated card of a test's state folder, under the build's emulator on a cross build. The
// process is ended and waited for when the object goes, so no test leaves one behind.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace kmb::test {

class DaemonProcess {
public:
    DaemonProcess(const std::string& program, const std::vector<std::string>& args);
    ~DaemonProcess();
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Asks it to end (SIGTERM) and waits; its exit status, or -1 when it did not exit by itself.
    int stop();
    // What it printed on standard error, once stopped.
    const std::string& errors() const { return errors_; }

private:
    pid_t pid_ = -1;
    int err_fd_ = -1;
    std::string errors_;
};

// The daemons' arguments for a card in `state`: speed 0 and the tests' clock.
std::vector<std::string> daemon_args(const std::string& state, std::vector<std::string> more = {});

} // namespace kmb::test
