// The Ethernet loopback on this machine's real kernel, over eth0 and its cable in network
// namespaces (netns_harness.h). The PHY requests are answered by the simulated PHY (veth has
// none); everything else is real: sockets, nat rules, the ARP entry, promiscuous mode and
// frames. Skipped, with the reason, where the namespaces or the tools cannot be had.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <net/if.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "ethernet/loopback.h"
#include "linux/netns_harness.h"
#include "linux/phy_over_linux_os.h"
#include "os/os.h"
#include "support/capture.h"

namespace kmb::test {
namespace {

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

TEST(EthernetOnARealKernel, AChildThatDiesOrHangsEndsTheTestAndLeavesNoNamespace)
{
    struct Case {
        const char* what;
        std::function<void(NetnsCable&, Report&)> body;
        int deadline_s;
    };
    const Case cases[] = {
        {"killed", [](NetnsCable&, Report&) { ::raise(SIGKILL); }, 300},
        {"aborted", [](NetnsCable&, Report&) { std::abort(); }, 300},
        {"exits at once", [](NetnsCable&, Report&) { ::_exit(3); }, 300},
        {"hangs", [](NetnsCable&, Report&) { ::pause(); }, 2},
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
    std::vector<std::string> nat_before = {}; // rules added to the nat table before the run
};

// A whole run, with what it printed and the kernel's state around it.
void run_and_note(int external, int speed100, int half_duplex, const RunSetting& setting, NetnsCable& cable, Report& r)
{
    std::string why = setting.reflect ? "" : cable.reflect(false);
    if (why.empty()) {
        std::vector<std::string> commands;
        for (const std::string& rule : setting.nat_before) {
            commands.push_back("iptables -t nat " + rule);
        }
        why = run_commands(commands);
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
    const std::vector<std::string> leftovers = {"-A OUTPUT -d 192.0.2.20 -j DNAT --to-destination 192.0.2.28",
                                                "-A PREROUTING -d 192.0.2.28 -j DNAT --to-destination 192.0.2.20",
                                                "-A POSTROUTING -s 192.0.2.20 -j SNAT --to-source 192.0.2.28"};
    const std::vector<std::string> foreign = {"-A OUTPUT -d 192.0.2.20 -j DNAT --to-destination 192.0.2.99"};
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
        {"an earlier run's rules left over", 0, 0, 0, {.nat_before = leftovers},
         "Internal Ethernet loopback  10BASE Full Dup test ........PASSED\n", "", "", true},
        {"a foreign rule first", 0, 0, 0, {.nat_before = foreign},
         "Internal Ethernet loopback  10BASE Full Dup test ........FAILED\n",
         "accept fail:: Resource temporarily unavailable\n", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Report r = in_namespaces([&c](NetnsCable& cable, Report& r) {
            run_and_note(c.external, c.speed100, c.half_duplex, c.setting, cable, r);
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
