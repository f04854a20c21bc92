#include "linux/netns_harness.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kmb::test {

std::string output_of(const std::string& command, int* status)
{
    std::string text;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr) {
        if (status != nullptr) {
            *status = -1;
        }
        return text;
    }
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        text.append(buf, n);
    }
    const int rc = ::pclose(p);
    if (status != nullptr) {
        *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }
    return text;
}

std::string run_commands(const std::vector<std::string>& commands)
{
    for (const std::string& command : commands) {
        int status = 0;
        const std::string out = output_of(command, &status);
        if (status != 0) {
            return "'" + command + "' failed: " + out;
        }
    }
    return "";
}

namespace {

// The carrier comes up a moment after the link is set up.
bool wait_running()
{
    const int sock = ::socket(AF_INET, SOCK_DGRAM, 0);
    bool running = false;
    for (int i = 0; i < 200 && !running; ++i) {
        ifreq ifr{};
        std::strncpy(ifr.ifr_name, "eth0", IFNAMSIZ - 1);
        running = ::ioctl(sock, SIOCGIFFLAGS, &ifr) == 0 && (ifr.ifr_flags & IFF_RUNNING) != 0;
        if (!running) {
            ::usleep(10'000);
        }
    }
    ::close(sock);
    return running;
}

} // namespace

bool NetnsCable::fork_cable()
{
    int ready[2];
    if (::pipe(ready) != 0) {
        return false;
    }
    const pid_t owner = ::getpid();
    cable_ = ::fork();
    if (cable_ == 0) {
        // The cable's namespace lives as long as this process, and this process no longer
        // than the one that made it; it keeps no descriptor but its answer, so that the
        // test's report pipe ends when the process that writes it ends.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != owner) {
            ::_exit(1);
        }
        if (ready[1] != 3) {
            ::dup2(ready[1], 3);
        }
        if (::close_range(4, ~0U, 0) != 0) { // an emulator may not have the call
            for (long fd = 4, open_max = ::sysconf(_SC_OPEN_MAX); fd < open_max; ++fd) {
                ::close(static_cast<int>(fd));
            }
        }
        char byte = ::unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
        (void)!::write(3, &byte, 1);
        ::close(3);
        while (true) {
            ::pause();
        }
    }
    // Our write end closed first: a cable that never came (or died) reads as an end of file.
    ::close(ready[1]);
    char byte = 'n';
    (void)!::read(ready[0], &byte, 1);
    ::close(ready[0]);
    return cable_ > 0 && byte == 'y';
}

std::string NetnsCable::set_up()
{
    if (::unshare(CLONE_NEWNET) != 0) {
        return std::string("no network namespace can be made here: ") + std::strerror(errno);
    }
    for (const char* tool : {"ip", "tc", "iptables", "nsenter"}) {
        int status = 0;
        output_of(std::string("command -v ") + tool, &status);
        if (status != 0) {
            return std::string(tool) + " is not installed (scripts/install-deps.sh installs it)";
        }
    }
    if (!fork_cable()) {
        return "no second network namespace for the cable";
    }
    const std::string in_cable = "nsenter -t " + std::to_string(cable_) + " -n ";
    std::string why = run_commands({
        "ip link set lo up",
        "ip link add eth0 type veth peer name cable0",
        "ip link set cable0 netns " + std::to_string(cable_),
        std::string("ip addr add ") + kOwn + "/24 dev eth0",
        "ip link set eth0 up",
        in_cable + "ip link set cable0 up",
    });
    if (why.empty() && !wait_running()) {
        why = "eth0 never came up";
    }
    return why.empty() ? reflect(true) : why;
}

std::string NetnsCable::reflect(bool on)
{
    const std::string tc = "nsenter -t " + std::to_string(cable_) + " -n tc ";
    if (!on) {
        return run_commands({tc + "qdisc del dev cable0 ingress"});
    }
    return run_commands({
        tc + "qdisc add dev cable0 ingress",
        tc + "filter add dev cable0 parent ffff: protocol all u32 match u32 0 0 action mirred egress redirect dev cable0",
    });
}

void NetnsCable::tear_down()
{
    if (cable_ > 0) {
        ::kill(cable_, SIGKILL);
        ::waitpid(cable_, nullptr, 0);
    }
}

namespace {

// The report crosses the pipe as key, length, value.
void put(int fd, const std::string& key, const std::string& value)
{
    const std::string wire = key + "\n" + std::to_string(value.size()) + "\n" + value;
    size_t done = 0;
    while (done < wire.size()) {
        const ssize_t n = ::write(fd, wire.data() + done, wire.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

Report parse(const std::string& wire)
{
    Report report;
    size_t at = 0;
    while (at < wire.size()) {
        const size_t key_end = wire.find('\n', at);
        const size_t len_end = wire.find('\n', key_end + 1);
        if (key_end == std::string::npos || len_end == std::string::npos) {
            break;
        }
        const size_t len = std::stoul(wire.substr(key_end + 1, len_end - key_end - 1));
        report[wire.substr(at, key_end - at)] = wire.substr(len_end + 1, len);
        at = len_end + 1 + len;
    }
    return report;
}

std::string net_namespace_of(pid_t pid)
{
    char link[64] = {};
    const std::string path = "/proc/" + std::to_string(pid) + "/ns/net";
    return ::readlink(path.c_str(), link, sizeof link - 1) > 0 ? link : "";
}

// The processes of this machine that still hold namespace `ns` ("" when none does).
std::string holders_of(const std::string& ns)
{
    std::string holders;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return holders;
    }
    while (const dirent* e = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid > 0 && net_namespace_of(pid) == ns) {
            holders += std::to_string(pid) + " ";
        }
    }
    ::closedir(proc);
    return holders;
}

// A namespace goes with its last process; a killed process is gone a moment after its parent
// reaps it. "" when every namespace named in `report` has gone.
std::string namespaces_left(const Report& report)
{
    for (const char* key : {"ns.card", "ns.cable"}) {
        const auto it = report.find(key);
        if (it == report.end() || it->second.empty()) {
            continue;
        }
        std::string holders = holders_of(it->second);
        for (int i = 0; i < 500 && !holders.empty(); ++i) {
            ::usleep(10'000);
            holders = holders_of(it->second);
        }
        if (!holders.empty()) {
            return std::string(key) + " " + it->second + " still held by " + holders;
        }
    }
    return "";
}

// The child's side: the namespaces, the body, and the report down the pipe.
[[noreturn]] void run_child(const std::function<void(NetnsCable&, Report&)>& body, pid_t parent, int out)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(1);
    }
    Report report;
    NetnsCable cable;
    const std::string why = cable.set_up();
    put(out, "ns.card", net_namespace_of(::getpid()));
    if (cable.cable() > 0) {
        put(out, "ns.cable", net_namespace_of(cable.cable()));
    }
    if (!why.empty()) {
        report["skip"] = why;
    } else {
        body(cable, report);
    }
    cable.tear_down();
    for (const auto& [key, value] : report) {
        put(out, key, value);
    }
    ::_exit(0);
}

// All the child wrote until it closed the pipe; it is killed once `deadline_s` has passed.
std::string read_until_closed(int in, pid_t child, int deadline_s, bool* timed_out)
{
    std::string wire;
    for (int waited_ms = 0;;) {
        pollfd p{in, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready == 0) {
            waited_ms += 100;
            if (waited_ms >= deadline_s * 1000) {
                *timed_out = true;
                ::kill(child, SIGKILL);
                return wire;
            }
            continue;
        }
        char buf[4096];
        const ssize_t n = ready < 0 ? 0 : ::read(in, buf, sizeof buf);
        if (n <= 0) {
            return wire;
        }
        wire.append(buf, static_cast<size_t>(n));
    }
}

} // namespace

Report in_namespaces(const std::function<void(NetnsCable&, Report&)>& body, int deadline_s)
{
    std::fflush(nullptr);
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        return {{"skip", "no pipe"}};
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe_fds[0]);
        run_child(body, parent, pipe_fds[1]);
    }
    ::close(pipe_fds[1]);
    bool timed_out = false;
    const std::string wire = child > 0 ? read_until_closed(pipe_fds[0], child, deadline_s, &timed_out) : "";
    ::close(pipe_fds[0]);
    int status = 0;
    if (child > 0) {
        ::waitpid(child, &status, 0);
    }
    Report report = parse(wire);
    if (child < 0) {
        report["skip"] = "no child process";
    } else if (timed_out) {
        report["crash"] = "the child hung and was killed after " + std::to_string(deadline_s) + " s";
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        report["crash"] = "the child ended with status " + std::to_string(status);
    }
    if (const std::string left = namespaces_left(report); !left.empty()) {
        report["left"] = left;
    }
    return report;
}

} // namespace kmb::test
