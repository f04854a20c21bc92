#include "support/daemon_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {

DaemonProcess::DaemonProcess(const std::string& program, const std::vector<std::string>& args)
{
    const Command command(program, args);
    int err_pipe[2];
    int out_pipe[2];
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        return;
    }
    if (pipe2(out_pipe, O_CLOEXEC) != 0) {
        close(err_pipe[0]);
        close(err_pipe[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(err_pipe[1], 2);
        dup2(out_pipe[1], 1);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        execvp(command.argv()[0], command.argv());
        _exit(127);
    }
    close(err_pipe[1]);
    close(out_pipe[1]);
    err_fd_ = err_pipe[0];
    if (pid_ < 0) {
        close(err_fd_);
        close(out_pipe[0]);
        err_fd_ = -1;
        return;
    }
    // Its "ready" line, or the end of its output when it could not start.
    char c = 0;
    while (read(out_pipe[0], &c, 1) == 1 && c != '\n') {
    }
    close(out_pipe[0]);
}

DaemonProcess::~DaemonProcess() { stop(); }

int DaemonProcess::stop()
{
    if (pid_ <= 0) {
        return -1;
    }
    // A signal that lands just before the daemon blocks on its queue is only seen at its next
    // message, so the request is repeated until it has ended.
    int status = 0;
    pid_t done = 0;
    for (int ask = 0; ask < 2000 && done == 0; ++ask) {
        kill(pid_, SIGTERM);
        usleep(5000);
        done = waitpid(pid_, &status, WNOHANG);
    }
    if (done == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    char buf[4096];
    ssize_t n;
    while ((n = read(err_fd_, buf, sizeof buf)) > 0) {
        errors_.append(buf, static_cast<size_t>(n));
    }
    close(err_fd_);
    err_fd_ = -1;
    return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> daemon_args(const std::string& state, std::vector<std::string> more)
{
    return card_args(state, std::move(more));
}

} // namespace kmb::test
