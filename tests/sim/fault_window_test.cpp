// Faults over card time: on only inside their window [from, to), marked as fired only when
// they act there, and the time they first took effect kept.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <string>
#include <vector>

#include "os/os.h"
#include "sim/core/clock.h"
#include "sim/core/faults.h"
#include "sim/core/trace.h"
#include "support/sim_card.h"

namespace kmb::sim {
namespace {

TEST(SimFaultWindow, ActsOnlyInsideItsWindowEdgesIncludedAtTheStartOnly)
{
    struct Case {
        int64_t at_us;
        bool acts;
    };
    // On from 2 s to 5 s.
    const Case cases[] = {{0, false}, {1'999'999, false}, {2'000'000, true}, {4'999'999, true}, {5'000'000, false}, {9'000'000, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.at_us);
        VirtualClock clock(0, 0.0);
        Trace trace;
        trace.enable(true);
        trace.set_clock(&clock);
        Faults faults;
        faults.attach(&clock, &trace);
        faults.enable(Fault::EthDmaCorrupt, FaultWindow{2'000'000, 5'000'000});
        EXPECT_TRUE(faults.enabled(Fault::EthDmaCorrupt));
        clock.advance(c.at_us);
        EXPECT_EQ(faults.active(Fault::EthDmaCorrupt), c.acts);
        EXPECT_FALSE(faults.fired(Fault::EthDmaCorrupt)); // looking is not acting
        EXPECT_EQ(faults.act(Fault::EthDmaCorrupt), c.acts);
        EXPECT_EQ(faults.fired(Fault::EthDmaCorrupt), c.acts);
        EXPECT_EQ(faults.first_fired_us(Fault::EthDmaCorrupt), c.acts ? c.at_us : -1);
        EXPECT_EQ(trace.lines(), c.acts ? std::vector<std::string>{"fault eth-dma-corrupt"} : std::vector<std::string>{});
    }
}

TEST(SimFaultWindow, SeveralWindowsComeAndGoAndTheFirstFiringIsKept)
{
    VirtualClock clock(0, 0.0);
    Faults faults;
    faults.attach(&clock, nullptr);
    faults.enable(Fault::SerialCorrupt, FaultWindow{1'000'000, 2'000'000});
    faults.enable(Fault::SerialCorrupt, FaultWindow{3'000'000, FaultWindow::kForever});
    faults.enable(Fault::SerialRing, FaultWindow{4'000'000, 4'000'000}); // empty: never on
    EXPECT_FALSE(faults.enabled(Fault::SerialRing));
    std::vector<bool> seen;
    for (int64_t second = 0; second < 5; ++second) {
        seen.push_back(faults.act(Fault::SerialCorrupt));
        clock.advance(1'000'000);
    }
    EXPECT_EQ(seen, (std::vector<bool>{false, true, false, true, true}));
    EXPECT_EQ(faults.first_fired_us(Fault::SerialCorrupt), 1'000'000);
}

// A timed fault acts where the real one does (the expander's acknowledge, an interrupt line,
// a port another program holds) only inside its window. The held port is a campaign's finding:
// it was held for the whole run and never marked fired.
TEST(SimFaultWindow, ATimedFaultActsAtItsPinOnlyInsideItsWindow)
{
    struct Case {
        Fault fault;
        std::function<bool(test::SimCard&)> acts;
    };
    const Case cases[] = {
        {Fault::IoxNack,
         [](test::SimCard& card) {
             auto node = card.card().open("/dev/i2c/0", O_RDWR, 0);
             const uint8_t pointer = 0x01;
             return node && node->ioctl(0x0706, 0x18) == 0 && node->write(&pointer, 1) != 1;
         }},
        {Fault::Lm77CritStuck, [](test::SimCard& card) { return card.card().interrupts().asserted(28); }},
        {Fault::EthPortTaken,
         [](test::SimCard&) {
             const int fd = os::socket(AF_INET, SOCK_STREAM, 0);
             sockaddr_in a{};
             a.sin_family = AF_INET;
             a.sin_port = htons(9090);
             a.sin_addr.s_addr = htonl(0xC0000214); // 192.0.2.20, eth0's own
             const int rc = os::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
             const bool taken = rc != 0 && errno == EADDRINUSE;
             os::close(fd);
             return taken;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(fault_info(c.fault).name);
        SimConfig config;
        config.timed_faults = {{c.fault, FaultWindow{1'000'000, 2'000'000}}};
        test::SimCard card(config);
        std::vector<bool> acted;
        for (int64_t at : {500'000, 1'500'000, 2'500'000}) {
            card.card().clock().advance(at - card.card().clock().now_us());
            acted.push_back(c.acts(card));
        }
        EXPECT_EQ(acted, (std::vector<bool>{false, true, false}));
        EXPECT_EQ(card.card().faults().first_fired_us(c.fault), 1'500'000);
    }
}

} // namespace
} // namespace kmb::sim
