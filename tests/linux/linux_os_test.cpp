// The card's backend against the real kernel of this machine, where LinuxOs does more than
// forward a call: the serial and Ethernet tests of this folder run the rest through it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <syslog.h>

#include "os/linux_os.h"
#include "support/capture.h"

namespace kmb::test {
namespace {

class LinuxOsTest : public ::testing::Test {
protected:
    os::LinuxOs linux_;
};

TEST_F(LinuxOsTest, SystemOutputFollowsWhatStdioStillHeld)
{
    CapturedOutput capture;
    std::printf("before ");
    linux_.system("echo after");
    EXPECT_EQ(capture.out(), "before after\n");
}

TEST_F(LinuxOsTest, SyslogHandsTheLiteralLineToTheSystemLogAndKeepsErrno)
{
    CapturedOutput capture;
    // LOG_PERROR copies each line to standard error, which is what can be read here.
    linux_.openlog("kmbtest", LOG_PERROR, LOG_USER);
    errno = ENXIO;
    linux_.syslog(LOG_ERR, "Error using I2C addr 0x1f 100% %s\n");
    EXPECT_EQ(errno, ENXIO);
    linux_.closelog();
    EXPECT_NE(capture.err().find("Error using I2C addr 0x1f 100% %s"), std::string::npos) << capture.err();
}

} // namespace
} // namespace kmb::test
