#include "support/run_sim.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "support/sim_card.h"

namespace kmb::test {

namespace {

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

} // namespace

Command::Command(const std::string& program, const std::vector<std::string>& args)
{
    // The emulator comes as a CMake list ("qemu-ppc;-L;/usr/powerpc-linux-gnu").
    std::stringstream emulator(KMB_EMULATOR);
    for (std::string word; std::getline(emulator, word, ';');) {
        if (!word.empty()) {
            words_.push_back(word);
        }
    }
    words_.push_back(program);
    words_.insert(words_.end(), args.begin(), args.end());
    for (std::string& w : words_) {
        argv_.push_back(w.data());
    }
    argv_.push_back(nullptr);
}

std::vector<std::string> card_args(const std::string& state, std::vector<std::string> more)
{
    std::vector<std::string> args = {"--state", state, "--speed", "0", "--start-time", std::to_string(kTestEpoch)};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

SimRun run_sim(const std::vector<std::string>& args, const std::string& input, InputEnd end,
               const std::vector<int>& closed, double wall_limit_s)
{
    return run_program(KMB_SIM_PATH, args, input, end, closed, wall_limit_s);
}

SimRun run_program(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                   InputEnd end, const std::vector<int>& closed, double wall_limit_s)
{
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(wall_limit_s > 0 ? wall_limit_s : 1e9));
    // A simulator that ends before reading all its input must not take the test with it.
    signal(SIGPIPE, SIG_IGN);
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
        return {};
    }
    const Command command(program, args);

    const pid_t child = fork();
    if (child == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : closed) {
            close(fd);
        }
        setenv("TZ", "UTC", 1);
        execvp(command.argv()[0], command.argv());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    set_nonblocking(in_pipe[1]);

    SimRun run;
    size_t sent = 0;
    int to_child = in_pipe[1];
    int held = -1; // the input's end, held open until the program ends
    if (input.empty()) {
        close(to_child);
        to_child = -1;
    }
    pollfd fds[3] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}, {to_child, POLLOUT, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    while (fds[0].fd >= 0 || fds[1].fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 && !run.timed_out) {
            run.timed_out = true;
            kill(child, SIGKILL);
        }
        const int wait_ms = run.timed_out ? -1 : static_cast<int>(std::min<long long>(left.count(), 1000));
        if (poll(fds, 3, wait_ms) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                char buf[65536];
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    // A runaway loop must not eat the test's memory: past 64 MiB only the count grows.
                    constexpr size_t kKept = 64u << 20;
                    if (sinks[i]->size() < kKept) {
                        sinks[i]->append(buf, static_cast<size_t>(n));
                    }
                } else if (n == 0 || errno != EAGAIN) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                }
            }
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t n = write(fds[2].fd, input.data() + sent, input.size() - sent);
            if (n > 0) {
                sent += static_cast<size_t>(n);
            }
            if ((n < 0 && errno != EAGAIN) || sent == input.size()) {
                if (end == InputEnd::HoldUntilExit && n >= 0) {
                    held = fds[2].fd;
                } else {
                    close(fds[2].fd);
                }
                fds[2].fd = -1;
            }
        }
    }
    if (fds[2].fd >= 0) {
        close(fds[2].fd);
    }
    if (held >= 0) {
        close(held);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace kmb::test
