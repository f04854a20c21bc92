// What the diagnostic never asks of the agent driver: requests and lines it does not have.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "sim/core/faults.h"
#include "sim/kernel/agentdrv.h"
#include "sim/kernel/interrupts.h"

namespace kmb::sim {
namespace {

TEST(SimAgentDriver, RefusesWhatItDoesNotKnow)
{
    Faults faults;
    InterruptLines lines(faults);
    AgentDriver driver(lines, faults);
    auto file = driver.open("/dev/agentdrv");
    ASSERT_TRUE(file);
    struct Case {
        unsigned long request;
        unsigned long arg;
    };
    const Case cases[] = {{0, 32}, {1, 32}, {0, ~0UL}, {4, 0}, {0x89F0, 0}, {~0UL, 25}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "request " << c.request << " arg " << c.arg);
        errno = 0;
        EXPECT_EQ(file->ioctl(c.request, c.arg), -1);
        EXPECT_EQ(errno, EINVAL);
    }
    for (int line = -1; line <= 32; ++line) {
        EXPECT_FALSE(driver.armed(line));
    }
    char byte = 0;
    errno = 0;
    EXPECT_EQ(file->read(&byte, 1), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(file->write(&byte, 1), -1);
    EXPECT_EQ(errno, EINVAL);
}

} // namespace
} // namespace kmb::sim
