// The Ethernet loopback on this machine's real kernel: in a network namespace of its own, eth0
// is one end of a veth pair with the card's address, and the other end, in a second namespace,
// is the loopback cable: a tc ingress filter that sends every frame straight back out. The PHY
// requests are answered by the simulated PHY (veth has none); everything else is real: sockets,
// nat rules, the ARP entry, promiscuous mode and frames. Skipped, with the reason, where the
// namespaces or the tools cannot be had.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <span>
#include <net/if.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ethernet/loopback.h"
#include "ethernet/loopback_routing.h"
#include "linux/phy_over_linux_os.h"
#include "os/os.h"
#include "support/capture.h"

namespace kmb::test {
namespace {

constexpr const char* kOwn = "192.0.2.20";
constexpr const char* kPeer = "192.0.2.28";

using Report = std::map<std::string, std::string>;

// A command's standard output (its errors go to the test's log); -1 in `status` on failure.
std::string output_of(const std::string& command, int* status = nullptr)
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

// The namespaces of one test, made and used in a child process so that the test process
// itself stays where it was.
class Fixture {
public:
    // "" when it stands, else why it could not be made.
    std::string set_up()
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
        int ready[2];
        if (::pipe(ready) != 0) {
            return "no pipe";
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
        char byte = 'n';
        (void)!::read(ready[0], &byte, 1);
        ::close(ready[0]);
        ::close(ready[1]);
        if (cable_ < 0 || byte != 'y') {
            return "no second network namespace for the cable";
        }
        const std::string in_cable = "nsenter -t " + std::to_string(cable_) + " -n ";
        const std::string steps[] = {
            "ip link set lo up",
            "ip link add eth0 type veth peer name cable0",
            "ip link set cable0 netns " + std::to_string(cable_),
            std::string("ip addr add ") + kOwn + "/24 dev eth0",
            "ip link set eth0 up",
            in_cable + "ip link set cable0 up",
        };
        for (const std::string& step : steps) {
            int status = 0;
            const std::string out = output_of(step, &status);
            if (status != 0) {
                return "'" + step + "' failed: " + out;
            }
        }
        // The carrier comes up a moment after the link is set up; the runs start from there.
        if (!wait_running()) {
            return "eth0 never came up";
        }
        return reflect(true);
    }

    // The cable in (every frame comes back) or pulled.
    std::string reflect(bool on)
    {
        const std::string tc = "nsenter -t " + std::to_string(cable_) + " -n tc ";
        const std::string steps_on[] = {
            tc + "qdisc add dev cable0 ingress",
            tc + "filter add dev cable0 parent ffff: protocol all u32 match u32 0 0 action mirred egress redirect dev cable0",
        };
        const std::string steps_off[] = {tc + "qdisc del dev cable0 ingress"};
        for (const std::string& step : on ? std::span<const std::string>(steps_on) : std::span<const std::string>(steps_off)) {
            int status = 0;
            const std::string out = output_of(step, &status);
            if (status != 0) {
                return "'" + step + "' failed: " + out;
            }
        }
        return "";
    }

    static bool wait_running()
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

    pid_t cable() const { return cable_; }

    void tear_down()
    {
        if (cable_ > 0) {
            ::kill(cable_, SIGKILL);
            ::waitpid(cable_, nullptr, 0);
        }
    }

private:
    pid_t cable_ = -1;
};

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

// Runs `body` in a child in namespaces of its own and gives back what it reported; "skip" holds
// the reason when the namespaces could not be made, "crash" how a child that did not end well
// ended (killed after `deadline_s` seconds of real time when it hangs), "left" a namespace some
// process still holds after the child has gone. The child and its cable end with this process.
Report in_namespaces(const std::function<void(Fixture&, Report&)>& body, int deadline_s = 300)
{
    std::fflush(nullptr);
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
        return {{"skip", "no pipe"}};
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(1);
        }
        ::close(pipe_fds[0]);
        Report report;
        Fixture fixture;
        const std::string why = fixture.set_up();
        put(pipe_fds[1], "ns.card", net_namespace_of(::getpid()));
        if (fixture.cable() > 0) {
            put(pipe_fds[1], "ns.cable", net_namespace_of(fixture.cable()));
        }
        if (!why.empty()) {
            report["skip"] = why;
        } else {
            body(fixture, report);
        }
        fixture.tear_down();
        for (const auto& [key, value] : report) {
            put(pipe_fds[1], key, value);
        }
        ::_exit(0);
    }
    ::close(pipe_fds[1]);
    std::string wire;
    bool timed_out = false;
    for (int waited_ms = 0; child > 0;) {
        pollfd p{pipe_fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready == 0) {
            waited_ms += 100;
            if (waited_ms >= deadline_s * 1000) {
                timed_out = true;
                ::kill(child, SIGKILL);
                break;
            }
            continue;
        }
        char buf[4096];
        const ssize_t n = ready < 0 ? 0 : ::read(pipe_fds[0], buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        wire.append(buf, static_cast<size_t>(n));
    }
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
    const std::string left = namespaces_left(report);
    if (!left.empty()) {
        report["left"] = left;
    }
    return report;
}

in_addr address(const char* text)
{
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a;
}

// eth0's flags, its transmitted bytes, its nat table and the peer's neighbour entry, as the kernel
// has them.
void note_state(Report& r, const std::string& when)
{
    const int sock = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "eth0", IFNAMSIZ - 1);
    r[when + ".flags"] = ::ioctl(sock, SIOCGIFFLAGS, &ifr) == 0 ? std::to_string(ifr.ifr_flags & 0xffff) : "?";
    ::close(sock);
    r[when + ".nat"] = output_of("iptables -t nat -S");
    // The peer's entry: the run's own (the kernel keeps entries of its own for addresses it
    // tried, such as the one a foreign rule sends the traffic to).
    r[when + ".neigh"] = output_of(std::string("ip -4 neigh show dev eth0 to ") + kPeer);
    // /proc/net/dev is the namespace's own (sysfs may still show the machine's).
    r[when + ".tx_bytes"] = output_of("awk '$1 == \"eth0:\" { print $10 }' /proc/net/dev");
}

uint64_t tx_bytes(const std::string& noted) { return noted.empty() ? 0 : std::stoull(noted); }

// Whatever the run did, nothing it made outlives it.
#define SKIP_WHEN_UNAVAILABLE(report)                                                                                  \
    EXPECT_EQ((report).count("left"), 0u) << (report).at("left");                                                     \
    if ((report).count("skip") != 0) {                                                                                 \
        GTEST_SKIP() << (report).at("skip");                                                                           \
    }                                                                                                                  \
    ASSERT_EQ((report).count("crash"), 0u) << (report).at("crash")

TEST(EthernetOnARealKernel, RoutingSetUpAloneTakesEffectAndIsTornDown)
{
    const Report r = in_namespaces([](Fixture&, Report& r) {
        const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
        note_state(r, "before");
        nat_loopback_add(address(kOwn), address(kPeer));
        r["arp_set"] = std::to_string(arp_peer_set(address(kPeer), sock));
        r["promisc_on"] = std::to_string(eth_set_promisc(sock, 1));
        note_state(r, "during");
        r["mac"] = output_of("ip -o link show eth0 | grep -o 'ether [0-9a-f:]*' | cut -d' ' -f2");
        r["promisc_off"] = std::to_string(eth_set_promisc(sock, 0));
        r["arp_clear"] = std::to_string(arp_peer_clear(address(kPeer), sock));
        nat_loopback_del(address(kOwn), address(kPeer));
        note_state(r, "after");
        ::close(sock);
    });
    SKIP_WHEN_UNAVAILABLE(r);
    EXPECT_EQ(r.at("arp_set"), "0");
    EXPECT_EQ(r.at("promisc_on"), "0");
    EXPECT_EQ(r.at("promisc_off"), "0");
    EXPECT_EQ(r.at("arp_clear"), "0");
    const std::string& nat = r.at("during.nat");
    EXPECT_NE(nat.find("-A OUTPUT -d 192.0.2.20/32 -j DNAT --to-destination 192.0.2.28\n"), std::string::npos) << nat;
    EXPECT_NE(nat.find("-A PREROUTING -d 192.0.2.28/32 -j DNAT --to-destination 192.0.2.20\n"), std::string::npos) << nat;
    EXPECT_NE(nat.find("-A POSTROUTING -s 192.0.2.20/32 -j SNAT --to-source 192.0.2.28\n"), std::string::npos) << nat;
    std::string mac = r.at("mac");
    mac.erase(mac.find_last_not_of('\n') + 1);
    EXPECT_NE(r.at("during.neigh").find("192.0.2.28 lladdr " + mac), std::string::npos) << r.at("during.neigh");
    EXPECT_NE(std::stoi(r.at("during.flags")) & IFF_PROMISC, 0);
    EXPECT_EQ(r.at("after.nat"), r.at("before.nat"));
    EXPECT_EQ(r.at("after.neigh"), r.at("before.neigh"));
    EXPECT_EQ(r.at("after.flags"), r.at("before.flags"));
}

TEST(EthernetOnARealKernel, AChildThatDiesOrHangsEndsTheTestAndLeavesNoNamespace)
{
    struct Case {
        const char* what;
        std::function<void(Fixture&, Report&)> body;
        int deadline_s;
    };
    const Case cases[] = {
        {"killed", [](Fixture&, Report&) { ::raise(SIGKILL); }, 300},
        {"aborted", [](Fixture&, Report&) { std::abort(); }, 300},
        {"exits at once", [](Fixture&, Report&) { ::_exit(3); }, 300},
        {"hangs", [](Fixture&, Report&) { ::pause(); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Report r = in_namespaces(c.body, c.deadline_s);
        EXPECT_EQ(r.count("left"), 0u) << r.at("left");
        if (r.count("skip") != 0) {
            GTEST_SKIP() << r.at("skip");
        }
        EXPECT_EQ(r.count("crash"), 1u);
        EXPECT_EQ(r.count("ns.cable"), 1u);
    }
}

struct RunSetting {
    bool cable_in = true;          // the PHY sees the fixture's cable
    bool reflect = true;           // the cable sends the frames back
    bool promisc_withheld = false; // the kernel never sets IFF_PROMISC
    const char* nat_before = "";   // iptables arguments run before the run, one rule a line
};

// The rules of `lines` ("-A OUTPUT ..." one a line) added to the nat table.
std::string add_rules(const std::string& lines)
{
    size_t at = 0;
    while (at < lines.size()) {
        const size_t end = lines.find('\n', at);
        int status = 0;
        const std::string rule = lines.substr(at, end - at);
        const std::string out = output_of("iptables -t nat " + rule, &status);
        if (status != 0) {
            return "'iptables -t nat " + rule + "' failed: " + out;
        }
        at = end == std::string::npos ? lines.size() : end + 1;
    }
    return "";
}

// A whole run, with what it printed and the kernel's state around it.
void run_and_note(int external, int speed100, int half_duplex, const RunSetting& setting, Fixture& fixture, Report& r)
{
    std::string why = setting.reflect ? "" : fixture.reflect(false);
    if (why.empty()) {
        why = add_rules(setting.nat_before);
    }
    if (!why.empty()) {
        r["skip"] = why;
        return;
    }
    PhyOverLinuxOs backend;
    backend.cable_in = setting.cable_in;
    backend.promisc_withheld = setting.promisc_withheld;
    os::Os* previous = os::install(&backend);
    note_state(r, "before");
    CapturedOutput capture;
    r["result"] = std::to_string(eth_loopback_run(external, speed100, half_duplex));
    capture.stop();
    os::install(previous);
    r["out"] = capture.out();
    r["err"] = capture.err();
    r["accepted_from"] = inet_ntoa(backend.accepted_from);
    note_state(r, "after");
}

TEST(EthernetOnARealKernel, WholeRunsOverEth0)
{
    // A rule of an earlier run that never cleaned up, and a foreign one that sends the card's own
    // address elsewhere first: iptables takes the first rule that matches.
    constexpr const char* kLeftovers = "-A OUTPUT -d 192.0.2.20 -j DNAT --to-destination 192.0.2.28\n"
                                       "-A PREROUTING -d 192.0.2.28 -j DNAT --to-destination 192.0.2.20\n"
                                       "-A POSTROUTING -s 192.0.2.20 -j SNAT --to-source 192.0.2.28";
    constexpr const char* kForeign = "-A OUTPUT -d 192.0.2.20 -j DNAT --to-destination 192.0.2.99";
    constexpr const char* kFailHint = "** Make sure the KMB card is properly seated in the **\n";
    struct Case {
        const char* what;
        int external, speed100, half_duplex;
        RunSetting setting;
        const char* verdict; // the result line's end
        const char* err;     // all the run prints on standard error
        const char* out;     // a line the run prints before its result, or ""
        bool over_eth0;      // the connection crossed eth0 (taken from the peer address)
    };
    const Case cases[] = {
        {"internal", 0, 0, 0, {}, "Internal Ethernet loopback  10BASE Full Dup test ........PASSED\n", "", "", true},
        {"external", 1, 1, 1, {}, "External Ethernet loopback 100BASE Half Dup test ........PASSED\n", "", "", true},
        // veth hands a frame addressed to eth0's own MAC up whatever the flag: the loopback
        // does not need promiscuous mode.
        {"promiscuous mode withheld", 0, 1, 0, {.promisc_withheld = true},
         "Internal Ethernet loopback 100BASE Full Dup test ........PASSED\n", "", "", true},
        {"pulled cable", 1, 1, 0, {.cable_in = false, .reflect = false},
         "External Ethernet loopback 100BASE Full Dup test ........FAILED\n", "", "Link not established\n", false},
        // The PHY sees a link, the frames never come back: the connection is not there to take.
        {"frames lost with the link up", 1, 0, 0, {.reflect = false},
         "External Ethernet loopback  10BASE Full Dup test ........FAILED\n",
         "accept fail:: Resource temporarily unavailable\n", "", false},
        {"an earlier run's rules left over", 0, 0, 0, {.nat_before = kLeftovers},
         "Internal Ethernet loopback  10BASE Full Dup test ........PASSED\n", "", "", true},
        {"a foreign rule first", 0, 0, 0, {.nat_before = kForeign},
         "Internal Ethernet loopback  10BASE Full Dup test ........FAILED\n",
         "accept fail:: Resource temporarily unavailable\n", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Report r = in_namespaces([&c](Fixture& fixture, Report& r) {
            run_and_note(c.external, c.speed100, c.half_duplex, c.setting, fixture, r);
        });
        SKIP_WHEN_UNAVAILABLE(r);
        const bool passed = std::string(c.verdict).ends_with("PASSED\n");
        EXPECT_EQ(r.at("result"), passed ? "0" : "1") << r.at("out") << r.at("err");
        const std::string expected = std::string(c.out) + c.verdict + (passed ? "" : kFailHint);
        EXPECT_NE(r.at("out").find(expected), std::string::npos) << r.at("out");
        EXPECT_EQ(r.at("err"), c.err);
        // From the peer address: the nat road was taken, not the kernel's own loopback.
        EXPECT_EQ(r.at("accepted_from") == kPeer, c.over_eth0) << r.at("accepted_from");
        if (c.over_eth0) {
            EXPECT_GE(tx_bytes(r.at("after.tx_bytes")) - tx_bytes(r.at("before.tx_bytes")), 5u * 16384u);
        }
        EXPECT_EQ(r.at("after.nat"), r.at("before.nat"));
        EXPECT_EQ(r.at("after.neigh"), r.at("before.neigh"));
        EXPECT_EQ(r.at("after.flags"), r.at("before.flags"));
    }
}

} // namespace
} // namespace kmb::test
