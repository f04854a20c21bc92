// The card's backend against the real kernel of this machine: what LinuxOs forwards must
// behave as the calls themselves do.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <syslog.h>
#include <termios.h>
#include <unistd.h>

#include "os/linux_os.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

class LinuxOsTest : public ::testing::Test {
protected:
    os::LinuxOs linux_;
    TempDir dir_;
};

TEST_F(LinuxOsTest, FilesOpenReadWriteAndCloseForReal)
{
    const std::string path = (dir_.path() / "marker").string();
    int fd = linux_.open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(linux_.write(fd, "abc", 3), 3);
    EXPECT_EQ(linux_.close(fd), 0);
    EXPECT_EQ(linux_.close(fd), -1);
    EXPECT_EQ(errno, EBADF);

    fd = linux_.open(path.c_str(), O_RDONLY, 0);
    char buf[8] = {};
    EXPECT_EQ(linux_.read(fd, buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(linux_.fcntl(fd, F_SETFL, 0), 0);
    EXPECT_EQ(linux_.close(fd), 0);

    EXPECT_EQ(linux_.open((dir_.path() / "absent").c_str(), O_RDONLY, 0), -1);
    EXPECT_EQ(errno, ENOENT);

    FILE* stream = linux_.fopen(path.c_str(), "r");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::fgetc(stream), 'a');
    EXPECT_EQ(linux_.fclose(stream), 0);
}

TEST_F(LinuxOsTest, TermiosOfAPseudoTerminalTakeAndKeepASpeed)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = linux_.open(ptsname(master), O_RDWR | O_NOCTTY, 0);
    ASSERT_GE(slave, 0);

    termios attr{};
    ASSERT_EQ(linux_.tcgetattr(slave, &attr), 0);
    attr.c_cflag = B38400 | CS8 | CREAD | CLOCAL;
    attr.c_lflag &= ~(ICANON | ECHO);
    attr.c_cc[VMIN] = 0;
    attr.c_cc[VTIME] = 10;
    ASSERT_EQ(linux_.tcsetattr(slave, TCSANOW, &attr), 0);
    termios back{};
    ASSERT_EQ(linux_.tcgetattr(slave, &back), 0);
    EXPECT_EQ(cfgetospeed(&back), static_cast<speed_t>(B38400));
    EXPECT_EQ(back.c_cc[VTIME], 10);
    EXPECT_EQ(back.c_lflag & ICANON, 0u);
    EXPECT_EQ(linux_.tcflush(slave, TCIFLUSH), 0);

    EXPECT_EQ(linux_.close(slave), 0);
    ::close(master);

    // A plain file is no terminal.
    const int fd = linux_.open((dir_.path() / "plain").c_str(), O_RDWR | O_CREAT, 0644);
    EXPECT_EQ(linux_.tcgetattr(fd, &attr), -1);
    EXPECT_EQ(errno, ENOTTY);
    linux_.close(fd);
}

TEST_F(LinuxOsTest, SystemRunsTheShellAndReportsTheExitStatus)
{
    const std::string out = (dir_.path() / "out").string();
    const int status = linux_.system(("echo card > " + out + "; exit 3").c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[16] = {};
    EXPECT_NE(std::fgets(buf, sizeof buf, f), nullptr);
    std::fclose(f);
    EXPECT_STREQ(buf, "card\n");
}

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
