#include "support/terminal_sim.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "support/run_sim.h"

namespace kmb::test {

namespace {

using Clock = std::chrono::steady_clock;

int ms_left(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

TerminalSim::TerminalSim(const std::vector<std::string>& args)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        return;
    }
    const char* name = ::ptsname(master_);
    if (name == nullptr) {
        return;
    }
    const std::string slave_name = name;
    const Command command(KMB_SIM_PATH, args);
    child_ = ::fork();
    if (child_ == 0) {
        // A session of its own whose controlling terminal is the pseudo-terminal: its line
        // discipline signals the simulator, the foreground process group, at a Ctrl-C.
        ::setsid();
        const int slave = ::open(slave_name.c_str(), O_RDWR);
        if (slave < 0) {
            _exit(126);
        }
        ::ioctl(slave, TIOCSCTTY, 0);
        struct termios attr{};
        if (::tcgetattr(slave, &attr) == 0) {
            // A terminal as a desk has it: canonical input with its echo, ^C and ^D; no CR
            // added before each line end, so the screen is the program's own bytes.
            attr.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
            ::tcsetattr(slave, TCSANOW, &attr);
        }
        struct winsize size{24, 80, 0, 0};
        ::ioctl(slave, TIOCSWINSZ, &size);
        ::dup2(slave, 0);
        ::dup2(slave, 1);
        ::dup2(slave, 2);
        if (slave > 2) {
            ::close(slave);
        }
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        ::setenv("TZ", "UTC", 1);
        ::execvp(command.argv()[0], command.argv());
        _exit(127);
    }
}

TerminalSim::~TerminalSim()
{
    if (child_ > 0 && exit_status_ == -2) {
        ::kill(child_, SIGKILL);
        reap(true);
    }
    if (master_ >= 0) {
        ::close(master_);
    }
}

void TerminalSim::type(const std::string& keys)
{
    size_t sent = 0;
    while (master_ >= 0 && sent < keys.size()) {
        const ssize_t n = ::write(master_, keys.data() + sent, keys.size() - sent);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        sent += static_cast<size_t>(n);
    }
}

bool TerminalSim::read_screen(int ms)
{
    if (master_ < 0) {
        return false;
    }
    pollfd p{master_, POLLIN, 0};
    const int ready = ::poll(&p, 1, ms);
    if (ready <= 0) {
        return ready == 0 || errno == EINTR;
    }
    char buf[65536];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0) {
        screen_.append(buf, static_cast<size_t>(n));
        // Keep the screen bounded: a runaway loop must not eat the test's memory.
        constexpr size_t kKeep = 8u << 20;
        if (screen_.size() > 2 * kKeep) {
            screen_.erase(0, screen_.size() - kKeep);
        }
        return true;
    }
    // EIO: every slave descriptor is closed (the simulator ended).
    return n < 0 && errno == EINTR;
}

bool TerminalSim::wait_for(const std::string& text, double seconds, std::size_t from)
{
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (true) {
        if (screen_.size() >= from && screen_.find(text, from) != std::string::npos) {
            return true;
        }
        const int left = ms_left(deadline);
        if (left == 0 || !read_screen(std::min(left, 100))) {
            return screen_.find(text, from) != std::string::npos;
        }
    }
}

void TerminalSim::reap(bool block)
{
    if (child_ <= 0 || exit_status_ != -2) {
        return;
    }
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(child_, &status, block ? 0 : WNOHANG)) < 0 && errno == EINTR) {
    }
    if (r != child_) {
        return;
    }
    if (WIFEXITED(status)) {
        exit_status_ = WEXITSTATUS(status);
    } else {
        exit_status_ = -1;
        signal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
}

bool TerminalSim::wait_for_exit(double seconds)
{
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (exit_status_ == -2) {
        reap(false);
        if (exit_status_ != -2) {
            break;
        }
        const int left = ms_left(deadline);
        if (left == 0) {
            return false;
        }
        if (!read_screen(std::min(left, 50))) {
            // The terminal is closed; the process is on its way out.
            ::usleep(10'000);
        }
    }
    while (read_screen(0) && master_ >= 0) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) {
            break;
        }
    }
    return true;
}

} // namespace kmb::test
