// The agent driver's requests as the card's programs issue them through /dev/agentdrv.
#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

#include "sim/agent_driver.h"
#include "sim/faults.h"

namespace kmb::sim {
namespace {

TEST(SimAgentDriver, ArmAndDisarmEachLineAlone)
{
    const int lines[] = {0, 25, 26, 27, 28, 31};
    for (int line : lines) {
        SCOPED_TRACE(testing::Message() << "line " << line);
        AgentDriver driver;
        auto file = driver.open("/dev/agentdrv");
        ASSERT_TRUE(file);
        EXPECT_EQ(file->ioctl(0, static_cast<unsigned long>(line)), 0);
        for (int other = 0; other < 32; ++other) {
            EXPECT_EQ(driver.armed(other), other == line) << "line " << other;
        }
        EXPECT_EQ(file->ioctl(0, static_cast<unsigned long>(line)), 0); // arming twice is harmless
        EXPECT_EQ(file->ioctl(1, static_cast<unsigned long>(line)), 0);
        EXPECT_FALSE(driver.armed(line));
        EXPECT_EQ(driver.requests(0), 2);
        EXPECT_EQ(driver.requests(1), 1);
    }
}

TEST(SimAgentDriver, RefusesWhatItDoesNotKnow)
{
    AgentDriver driver;
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
    for (int line = 0; line < 32; ++line) {
        EXPECT_FALSE(driver.armed(line));
    }
    EXPECT_FALSE(driver.armed(-1));
    EXPECT_FALSE(driver.armed(32));

    char byte = 0;
    errno = 0;
    EXPECT_EQ(file->read(&byte, 1), -1);
    EXPECT_EQ(errno, EINVAL);
    errno = 0;
    EXPECT_EQ(file->write(&byte, 1), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(SimAgentDriver, StatusWordIsClearWithNoEventPending)
{
    AgentDriver driver;
    // Each request comes on a descriptor of its own, as the card's programs open one per call.
    for (int i = 0; i < 3; ++i) {
        auto file = driver.open("/dev/agentdrv");
        EXPECT_EQ(file->ioctl(2, 0), 0);
    }
    auto file = driver.open("/dev/agentdrv");
    EXPECT_EQ(file->ioctl(3, 0), 0);
    EXPECT_EQ(driver.requests(2), 3);
    EXPECT_EQ(driver.requests(3), 1);
    EXPECT_EQ(driver.requests(0), 0);
    EXPECT_EQ(driver.requests(4), 0);
}

} // namespace
} // namespace kmb::sim
