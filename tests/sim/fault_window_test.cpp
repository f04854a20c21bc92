// Faults over card time: on only inside their window [from, to), marked as fired only when
// they act there, and the time they first took effect kept.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
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

// A bus fault in a window: the expander acknowledges before and after it, not inside.
TEST(SimFaultWindow, AnIntermittentBusFaultRefusesOnlyInsideItsWindow)
{
    SimConfig config;
    config.timed_faults = {{Fault::IoxNack, FaultWindow{1'000'000, 2'000'000}}};
    test::SimCard card(config);
    auto node = card.card().open("/dev/i2c/0", O_RDWR, 0);
    ASSERT_TRUE(node);
    ASSERT_EQ(node->ioctl(0x0706, 0x18), 0);
    const uint8_t pointer = 0x01;
    std::vector<bool> acked;
    for (int64_t at : {500'000, 1'500'000, 2'500'000}) {
        card.card().clock().advance(at - card.card().clock().now_us());
        acked.push_back(node->write(&pointer, 1) == 1);
    }
    EXPECT_EQ(acked, (std::vector<bool>{true, false, true}));
    EXPECT_TRUE(card.card().faults().fired(Fault::IoxNack));
    EXPECT_EQ(card.card().faults().first_fired_us(Fault::IoxNack), 1'500'000);
}

// A short on an interrupt line in a window: the line is seen asserted only inside it.
TEST(SimFaultWindow, AStuckInterruptLineIsStuckOnlyInsideItsWindow)
{
    SimConfig config;
    config.timed_faults = {{Fault::Lm77CritStuck, FaultWindow{1'000'000, 2'000'000}}};
    test::SimCard card(config);
    InterruptLines& lines = card.card().interrupts();
    EXPECT_FALSE(lines.asserted(28));
    card.card().clock().advance(1'000'000);
    EXPECT_TRUE(lines.asserted(28));
    card.card().clock().advance(1'000'000);
    EXPECT_FALSE(lines.asserted(28));
}

// Found by a seeded campaign: another program that holds the loopback test's port for a while
// held it for the whole run, and the fault was never marked fired.
TEST(SimFaultWindow, APortHeldForAWhileIsFreeOutsideIt)
{
    SimConfig config;
    config.timed_faults = {{Fault::EthPortTaken, FaultWindow{1'000'000, 2'000'000}}};
    test::SimCard card(config);
    const auto bind_9090 = [&card] {
        const int fd = os::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(9090);
        a.sin_addr.s_addr = htonl(0xC0000214); // 192.0.2.20, eth0's own
        const int rc = os::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        const int err = errno;
        os::close(fd);
        return rc == 0 ? 0 : err;
    };
    EXPECT_EQ(bind_9090(), 0);
    EXPECT_FALSE(card.card().faults().fired(Fault::EthPortTaken));
    card.card().clock().advance(1'000'000);
    EXPECT_EQ(bind_9090(), EADDRINUSE);
    EXPECT_TRUE(card.card().faults().fired(Fault::EthPortTaken));
    card.card().clock().advance(1'000'000);
    EXPECT_EQ(bind_9090(), 0);
}

} // namespace
} // namespace kmb::sim
