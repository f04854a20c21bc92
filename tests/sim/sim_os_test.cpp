// What the simulated card's seam does that no diagnostic test can see: descriptors are counted
// (every leak check relies on the count), nothing resolves outside the card's files, the syslog
// leaves errno alone, and what a NUL typed at the console does.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>

#include "os/os.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(SimOs, DescriptorsAreTheLowestFreeNumbersAndAreCounted)
{
    SimCard card;
    const int a = os::open("/tmp/a", O_WRONLY | O_CREAT, 0644);
    const int b = os::open("/dev/i2c/0", O_RDWR);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(b, 4);
    EXPECT_EQ(card.os().open_descriptor_count(), 2);
    EXPECT_EQ(os::close(a), 0);
    EXPECT_EQ(os::open("/dev/agentdrv", O_RDWR), 3);
    EXPECT_EQ(os::close(a), 0);
    EXPECT_EQ(os::close(a), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(os::read(42, nullptr, 0), -1);
    EXPECT_EQ(errno, EBADF);
    os::close(b);
    FILE* stream = os::fopen("/tmp/a", "r");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(card.os().open_descriptor_count(), 1);
    EXPECT_EQ(os::fclose(stream), 0);
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

TEST(SimOs, PathsOutsideTheCardsFilesAreNotFound)
{
    SimCard card;
    for (const char* path : {"/dev/null0", "/proc/nonexistent", "/sys/class", "relative", "/../../etc/passwd",
                             "/tmp/../../outside"}) {
        errno = 0;
        EXPECT_EQ(os::open(path, O_RDONLY), -1) << path;
        EXPECT_EQ(errno, ENOENT) << path;
        EXPECT_EQ(os::fopen(path, "r"), nullptr) << path;
    }
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

TEST(SimOs, TheSyslogKeepsErrno)
{
    SimCard card;
    errno = ENXIO;
    os::syslog(3, "line\n");
    EXPECT_EQ(errno, ENXIO);
}

// A long line read in pieces is the menu's transcript; a NUL and the end of input are not.
TEST(SimOs, ANulEndsTheTextButNotTheLineAndTheEndOfInputStays)
{
    SimCard card;
    card.os().set_console_input(std::string("o\0x\noptions\n", 12));
    char line[80];
    ASSERT_NE(os::read_line(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "o");
    ASSERT_NE(os::read_line(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "options\n");
    EXPECT_EQ(os::read_line(line, sizeof line), nullptr);
    EXPECT_EQ(os::read_line(line, sizeof line), nullptr) << "the end of input stays the end";
}

} // namespace
} // namespace kmb::test
