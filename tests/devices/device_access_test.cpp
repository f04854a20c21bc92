// Opening the I2C bus and the agent driver on the simulated card: codes, log lines and the
// descriptors left behind.
#include <gtest/gtest.h>

#include <cerrno>
#include <syslog.h>

#include "devices/agentdrv.h"
#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "os/os.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

TEST(I2cDevOpen, BindsAnswererAndRefusesWhatIsNotThere)
{
    struct Case {
        const char* what;
        std::vector<Fault> faults;
        unsigned address;
        int expected;
        std::vector<std::string> log;
        int error; // errno after a failure: logging and closing must not hide why it failed
    };
    const Case cases[] = {
        {"the I/O expander", {}, 0x18, ERR_NONE, {}, 0},
        {"the counter agent", {}, 0x1F, ERR_NONE, {}, 0},
        {"an address where nothing sits", {}, 0x50, ERR_I2C, {"3 Error using I2C addr 0x50\n"}, ENXIO},
        {"a dead counter agent", {Fault::CounterAgentAbsent}, 0x1F, ERR_I2C, {"3 Error using I2C addr 0x1f\n"}, ENXIO},
        {"a missing bus", {Fault::I2cBusAbsent}, 0x18, ERR_I2C, {"3 Error open file /dev/i2c/0\n"}, ENOENT},
    };
    for (const Case& c : cases) {
        SimCard card(c.faults);
        card.card().syslog().clear();
        int fd = 12345;
        errno = 0;
        EXPECT_EQ(i2c_dev_open(&fd, c.address), c.expected) << c.what;
        EXPECT_EQ(card.syslog_lines(), c.log) << c.what;
        if (c.error != 0) {
            EXPECT_EQ(errno, c.error) << c.what;
        }
        if (c.expected == ERR_NONE) {
            EXPECT_GE(fd, 3) << c.what;
            EXPECT_EQ(card.os().open_descriptor_count(), 1) << c.what;
            EXPECT_EQ(os::close(fd), 0);
        }
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << c.what << ": " << card.os().open_descriptor_names();
    }
}

TEST(AgentDriver, RequestsOpenIssueOneIoctlAndClose)
{
    SimCard card;
    EXPECT_EQ(agentdrv_irq_enable(IRQ_AGENT), ERR_NONE);
    EXPECT_TRUE(card.card().agent_driver().armed(IRQ_AGENT));
    EXPECT_EQ(agentdrv_irq_disable(IRQ_AGENT), ERR_NONE);
    EXPECT_FALSE(card.card().agent_driver().armed(IRQ_AGENT));
    EXPECT_EQ(agentdrv_get_status(), 0);
    EXPECT_EQ(agentdrv_request3(), 0);
    for (int request = 0; request < 4; ++request) {
        EXPECT_EQ(card.card().agent_driver().requests(request), 1) << request;
    }
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
    EXPECT_EQ(card.trace_of("open /dev/agentdrv").size(), 4u) << "no descriptor is cached between requests";
    EXPECT_TRUE(card.syslog_lines().empty());
}

TEST(AgentDriver, AMissingDriverReadsAsNothingPendingAndIsLoggedEachTime)
{
    SimCard card({Fault::AgentdrvAbsent});
    card.card().syslog().clear();
    EXPECT_EQ(agentdrv_irq_enable(IRQ_AGENT_IIRQ), ERR_DRIVER);
    EXPECT_EQ(agentdrv_irq_disable(IRQ_AGENT_IIRQ), ERR_DRIVER);
    EXPECT_EQ(agentdrv_get_status(), 0);
    EXPECT_EQ(agentdrv_request3(), 0);
    const std::vector<std::string> line(4, "3 Error open file /dev/agentdrv\n");
    EXPECT_EQ(card.syslog_lines(), line);
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

TEST(AgentDriver, AFailedRequestIsNotSeenByArmingButIsByTheStatus)
{
    SimCard card({Fault::AgentdrvStatusError});
    // Line 40 does not exist: the driver refuses, and the caller does not look.
    EXPECT_EQ(agentdrv_irq_enable(40), ERR_NONE);
    EXPECT_EQ(agentdrv_irq_disable(40), ERR_NONE);
    // A failed status request comes back as the ioctl's -1, in which bit 0x40 reads as set.
    const int status = agentdrv_get_status();
    EXPECT_EQ(status, -1);
    EXPECT_NE(status & AGENTDRV_STATUS_AGENT_EVENT, 0);
    EXPECT_TRUE(card.card().faults().fired(Fault::AgentdrvStatusError));
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

// The codes' texts are the agent printers' (AgentPrinters.ConsoleTexts); the bounds are here.
TEST(ErrorCodes, CodesOutsideTheTableAreUnknown)
{
    EXPECT_STREQ(error_text(ERR_CHECKSUM), "Command checksum error");
    EXPECT_STREQ(error_text(ERR_CHECKSUM + 1), "Unknown error");
    EXPECT_STREQ(error_text(-1), "Unknown error");
}

} // namespace
} // namespace kmb::test
