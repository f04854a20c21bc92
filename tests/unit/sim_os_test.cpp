// The simulated card's descriptors, streams and file system as the program meets them.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>

#include "os/os.h"
#include "sim/faults.h"
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

TEST(SimOs, TheClockMovesWithTheProgramsWaitsOnly)
{
    SimCard card;
    const time_t start = os::time(nullptr);
    EXPECT_EQ(start, kTestEpoch);
    os::sleep(3);
    os::usleep(500'000);
    os::usleep(500'000);
    time_t out = 0;
    EXPECT_EQ(os::time(&out), kTestEpoch + 4);
    EXPECT_EQ(out, kTestEpoch + 4);
}

TEST(SimOs, ShellCommandsTakeTimeAndReturnTheirStatus)
{
    SimCard card;
    const int64_t before = card.card().clock().now_us();
    EXPECT_EQ(os::system("rm /tmp/none 2>/dev/null"), 1 << 8);
    EXPECT_EQ(os::system("no-such-program 2>/dev/null"), 127 << 8);
    EXPECT_GT(card.card().clock().now_us(), before);
    EXPECT_NE(os::system(nullptr), 0) << "a shell is there";
}

TEST(SimOs, TheSyslogKeepsErrno)
{
    SimCard card;
    errno = ENXIO;
    os::syslog(3, "line\n");
    EXPECT_EQ(errno, ENXIO);
}

TEST(SimOs, ConsoleReadsAreBoundedAndLeaveTheRestOfALongLine)
{
    SimCard card;
    card.os().set_console_input("abcdefghij\nshort\nlast");
    char buf[6];
    for (const char* piece : {"abcde", "fghij", "\n", "short", "\n", "last"}) {
        ASSERT_NE(os::read_line(buf, sizeof buf), nullptr) << piece;
        EXPECT_STREQ(buf, piece);
    }
    EXPECT_EQ(os::read_line(buf, sizeof buf), nullptr);
    EXPECT_EQ(os::read_line(buf, sizeof buf), nullptr) << "the end of input stays the end";

    // A NUL typed at the terminal ends the text early but not the line: the next line stands.
    card.os().set_console_input(std::string("o\0x\noptions\n", 12));
    char line[80];
    ASSERT_NE(os::read_line(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "o");
    ASSERT_NE(os::read_line(line, sizeof line), nullptr);
    EXPECT_STREQ(line, "options\n");
}

TEST(Faults, NearestNameForAMistypedFault)
{
    using sim::nearest_fault_name;
    EXPECT_EQ(nearest_fault_name("no-fixtur"), "no-fixture");
    EXPECT_EQ(nearest_fault_name("iox-absnet"), "iox-absent");
    EXPECT_EQ(nearest_fault_name("counter-agent-pin7-stuck"), "counter-agent-pin7-stuck-low");
    EXPECT_EQ(nearest_fault_name("agentdrv"), "agentdrv-absent");
    EXPECT_FALSE(sim::fault_by_name("IOX-ABSENT").has_value()) << "names are exact";
    for (const sim::FaultInfo& info : sim::fault_catalogue()) {
        EXPECT_EQ(sim::fault_by_name(info.name), info.fault);
        EXPECT_EQ(sim::fault_info(info.fault).name, info.name);
    }
}

TEST(Faults, AFaultRecordsWhetherItTookEffect)
{
    SimCard card({sim::Fault::CounterAgentPin7StuckLow, sim::Fault::AgentdrvAbsent});
    sim::Faults& faults = card.card().faults();
    EXPECT_FALSE(faults.fired(sim::Fault::CounterAgentPin7StuckLow)) << "nothing looked at pin 7 yet";
    EXPECT_FALSE(faults.fired(sim::Fault::AgentdrvAbsent));
    EXPECT_EQ(os::open("/dev/agentdrv", O_RDWR), -1);
    EXPECT_TRUE(faults.fired(sim::Fault::AgentdrvAbsent));
    EXPECT_FALSE(faults.fired(sim::Fault::IoxAbsent));
}

} // namespace
} // namespace kmb::test
