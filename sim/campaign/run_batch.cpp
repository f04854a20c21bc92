#include "sim/campaign/run_batch.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kmb::sim {

namespace {

// The simulator's words for what a run left on the host (sim/app/main.cpp).
constexpr std::string_view kLeftBehind = "left behind";
// Standard error beyond this says nothing more to a campaign.
constexpr std::size_t kMaxStderrBytes = 64 * 1024;
// How often a campaign looks at a run it cannot wait on (a kernel without pidfd_open): short
// beside a pass's 10 ms.
constexpr int kPollMs = 1;
// The diagnostic's status at Exit or at the end of its input.
constexpr int kEndedStatus = 1;

struct Running {
    std::size_t index;
    pid_t pid;
    std::string folder;
    timespec started;
    int pidfd; // readable once the run has ended; -1 where the kernel has none
};

double seconds_since(const timespec& t)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - t.tv_sec) + static_cast<double>(now.tv_nsec - t.tv_nsec) / 1e9;
}

std::string read_bounded(const std::string& path, std::size_t limit)
{
    std::ifstream in(path, std::ios::binary);
    std::string text(limit + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// The child's side of the fork: only calls that are safe there, then the simulator.
[[noreturn]] void exec_run(const std::string& folder, const std::vector<std::string>& args)
{
    setpgid(0, 0);
    const int in = open((folder + "/input").c_str(), O_RDONLY);
    const int out = open("/dev/null", O_WRONLY);
    const int err = open((folder + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
        _exit(127);
    }
    // The run gets its three descriptors and none of the campaign's.
    close_range(3, ~0U, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

std::optional<Running> start(const RunPlan& plan, std::size_t index, const BatchSettings& s, RunOutcome& outcome)
{
    std::string folder = s.work_dir + "/kmbdiag-campaign.XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        outcome.findings.push_back(std::string("no folder for the run: ") + std::strerror(errno));
        return std::nullopt;
    }
    std::ofstream(folder + "/input", std::ios::binary) << plan.input;
    std::vector<std::string> args = {s.sim_path};
    for (const std::string& a : sim_arguments(plan)) {
        args.push_back(a);
    }
    args.insert(args.end(), {"--state", folder + "/card", "--report", folder + "/report.json"});
    // Built before the fork: the child allocates nothing.
    const pid_t pid = fork();
    if (pid == 0) {
        exec_run(folder, args);
    }
    if (pid < 0) {
        outcome.findings.push_back(std::string("no process for the run: ") + std::strerror(errno));
        std::filesystem::remove_all(folder);
        return std::nullopt;
    }
    setpgid(pid, pid); // also here, so that a kill of the group never misses it
    // Close-on-exec from birth, so no later run inherits it.
    Running r{index, pid, folder, {}, static_cast<int>(syscall(SYS_pidfd_open, pid, 0))};
    clock_gettime(CLOCK_MONOTONIC, &r.started);
    return r;
}

void judge_status(int status, RunOutcome& outcome)
{
    if (WIFSIGNALED(status)) {
        const char* name = sigabbrev_np(WTERMSIG(status));
        outcome.findings.push_back("crashed: signal " + std::to_string(WTERMSIG(status)) + " (SIG" +
                                   (name != nullptr ? name : "?") + ")");
    } else if (WEXITSTATUS(status) != kEndedStatus) {
        outcome.findings.push_back("exit status " + std::to_string(WEXITSTATUS(status)) + ", not " +
                                   std::to_string(kEndedStatus));
    }
}

void finish(const Running& r, int status, bool hung, const BatchSettings& s, RunOutcome& outcome)
{
    if (r.pidfd >= 0) {
        close(r.pidfd);
    }
    if (hung) {
        outcome.findings.push_back("hung: killed after " + std::to_string(s.wall_limit_s) + " s of wall time");
    } else {
        judge_status(status, outcome);
    }
    // Whatever the run started and left running is in its process group.
    if (kill(-r.pid, 0) == 0) {
        outcome.findings.push_back("left processes running");
        kill(-r.pid, SIGKILL);
    }
    const std::string err = read_bounded(r.folder + "/stderr", kMaxStderrBytes);
    if (err.find(kLeftBehind) != std::string::npos) {
        outcome.findings.push_back("the simulator reports: " + err.substr(err.find("kmbdiag-sim")));
    }
    std::string error;
    outcome.result = parse_run_report(read_bounded(r.folder + "/report.json", kMaxReportBytes), error);
    if (!outcome.result) {
        if (!hung) {
            outcome.findings.push_back("no report: " + error);
        }
    } else {
        for (std::string& c : contradictions(*outcome.result)) {
            outcome.findings.push_back(std::move(c));
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(r.folder, ec);
    if (ec) {
        outcome.findings.push_back("the run's folder " + r.folder + " could not be removed: " + ec.message());
    }
}

// True when the run has ended, or was hung and is now killed and reaped.
bool check_run(const Running& r, const BatchSettings& s, RunOutcome& outcome)
{
    int status = 0;
    pid_t got = waitpid(r.pid, &status, WNOHANG);
    if (got == 0 && seconds_since(r.started) > s.wall_limit_s) {
        kill(-r.pid, SIGKILL);
        got = waitpid(r.pid, &status, 0);
        finish(r, status, true, s, outcome);
        return true;
    }
    if (got == r.pid) {
        finish(r, status, false, s, outcome);
        return true;
    }
    return false;
}

// Sleeps until a run ends or the first of them may be called hung: the campaign's own CPU
// stays out of the runs' way, rather than waking every so often to look.
void wait_for_any(const std::vector<Running>& running, const BatchSettings& s)
{
    std::vector<pollfd> fds;
    double first_limit_s = s.wall_limit_s;
    for (const Running& r : running) {
        first_limit_s = std::min(first_limit_s, s.wall_limit_s - seconds_since(r.started));
        fds.push_back({r.pidfd, POLLIN, 0}); // a negative descriptor is skipped
    }
    int timeout_ms = static_cast<int>(std::ceil(std::max(first_limit_s, 0.0) * 1000));
    if (std::any_of(running.begin(), running.end(), [](const Running& r) { return r.pidfd < 0; })) {
        timeout_ms = std::min(timeout_ms, kPollMs);
    }
    ::poll(fds.data(), fds.size(), timeout_ms);
}

} // namespace

std::string scratch_folder()
{
    const char* tmp = std::getenv("TMPDIR");
    if (tmp != nullptr && tmp[0] == '/') {
        return tmp;
    }
    std::error_code ec;
    if (std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK | X_OK) == 0) {
        return "/dev/shm";
    }
    return "/tmp";
}

std::vector<RunOutcome> run_batch(const std::vector<RunPlan>& plans, const BatchSettings& s)
{
    std::vector<RunOutcome> outcomes(plans.size());
    std::vector<Running> running;
    std::size_t next = 0;
    while (next < plans.size() || !running.empty()) {
        while (next < plans.size() && running.size() < static_cast<std::size_t>(std::max(s.jobs, 1))) {
            if (auto r = start(plans[next], next, s, outcomes[next])) {
                running.push_back(std::move(*r));
            }
            ++next;
        }
        const std::size_t before = running.size();
        std::erase_if(running, [&](const Running& r) { return check_run(r, s, outcomes[r.index]); });
        // With none running (every start failed) there is nothing to wait for.
        if (running.size() == before && !running.empty()) {
            wait_for_any(running, s);
        }
    }
    return outcomes;
}

} // namespace kmb::sim
