// The trace as the engineer reads it: stamped with card time, one event a line, the lines'
// levels told once each change, and the diagnostic's requests with their results.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <string>
#include <vector>

#include "sim/core/clock.h"
#include "sim/core/trace.h"
#include "sim/core/trace_file.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::sim {
namespace {

TEST(SimTrace, CardSecondsKeepEveryMicrosecond)
{
    const std::pair<int64_t, const char*> cases[] = {
        {0, "0.000000"}, {1, "0.000001"}, {999999, "0.999999"}, {12000345, "12.000345"}, {-1, "-0.000001"},
        {86400LL * 365 * 1000000, "31536000.000000"},
    };
    for (const auto& [us, text] : cases) {
        EXPECT_EQ(card_seconds(us), text) << us;
    }
}

TEST(SimTrace, TheFileStampsEachLineWithCardTimeOneEventALine)
{
    VirtualClock clock(0, 0.0);
    Trace trace;
    trace.set_clock(&clock);
    test::MemoryFile memory;
    TraceFile file(memory.file());
    EXPECT_FALSE(trace.enabled());
    trace.add_sink(&file);
    EXPECT_TRUE(trace.enabled());
    trace.note("first");
    clock.advance(1'500'002);
    trace.note("sh echo a\nb\\c");
    trace.remove_sink(&file);
    trace.note("after");
    EXPECT_EQ(memory.text(), "0.000000 first\n1.500002 sh echo a\\x0ab\\x5cc\n");
    EXPECT_TRUE(trace.lines().empty()); // nothing kept in memory unless a test asks
    EXPECT_FALSE(file.failed());
}

// A sink that keeps every wire event.
struct WireRecorder : TraceSink {
    struct Event {
        int64_t us;
        Wire wire;
        uint32_t level;
        bool operator==(const Event&) const = default;
    };
    void wire(int64_t us, Wire w, uint32_t level) override { events.push_back({us, w, level}); }
    std::vector<Event> events;
};

TEST(SimTrace, AWireIsToldOnlyWhenItsLevelChangesAndANewSinkHearsWhereEachStands)
{
    VirtualClock clock(0, 0.0);
    Trace trace;
    trace.set_clock(&clock);
    trace.wire(Wire::FailLamp, 0); // before anyone listens: only remembered
    trace.enable(true);
    WireRecorder recorder;
    trace.add_sink(&recorder);
    clock.advance(10);
    trace.wire(Wire::FailLamp, 0);
    trace.wire(Wire::FailLamp, 1);
    trace.wire(Wire::IoxPins, 0x3a);
    trace.wire(Wire::IoxPins, 0x3a);
    using E = WireRecorder::Event;
    EXPECT_EQ(recorder.events, (std::vector<E>{{0, Wire::FailLamp, 0}, {10, Wire::FailLamp, 1}, {10, Wire::IoxPins, 0x3a}}));
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"wire fixture.lamp_fail 1", "wire fixture.iox.pins 0x3a"}));
    EXPECT_EQ(trace.level(Wire::PassLamp), -1);
}

TEST(SimTrace, AgentDriverRequestsAreTracedWithTheirResults)
{
    test::SimCard card({Fault::AgentdrvStatusError, Fault::Lm77IntStuck});
    auto node = card.card().open("/dev/agentdrv", O_RDWR, 0);
    ASSERT_TRUE(node);
    card.clear_trace();
    EXPECT_EQ(node->ioctl(0, 27), 0);
    EXPECT_EQ(node->ioctl(1, 26), 0);
    EXPECT_EQ(node->ioctl(2, 0), -1);
    EXPECT_EQ(node->ioctl(0, 40), -1);
    EXPECT_EQ(node->ioctl(3, 0), 0);
    // The stuck INT line is taken the moment it is armed: the short, the interrupt, the request.
    EXPECT_EQ(card.trace(), (std::vector<std::string>{
                                "fault lm77-int-stuck", "irq 27 taken 1", "agentdrv 0 27 = 0", "agentdrv 1 26 = 0",
                                "fault agentdrv-status-error", "agentdrv 2 = -1 EIO", "agentdrv 0 40 = -1 EINVAL",
                                "agentdrv 3 = 0"}));
}

TEST(SimTrace, SmbusTransfersAreSummedUpWithTheirRegister)
{
    test::SimCard card;
    auto node = card.card().open("/dev/i2c/0", O_RDWR, 0);
    ASSERT_TRUE(node);
    ASSERT_EQ(node->ioctl(0x0706, 0x48), 0);
    card.clear_trace();
    i2c_smbus_data data{};
    i2c_smbus_ioctl_data args{I2C_SMBUS_READ, 0x00, I2C_SMBUS_WORD_DATA, &data};
    ASSERT_EQ(node->ioctl(I2C_SMBUS, reinterpret_cast<unsigned long>(&args)), 0);
    data.byte = 0x12;
    args = {I2C_SMBUS_WRITE, 0x01, I2C_SMBUS_BYTE_DATA, &data};
    ASSERT_EQ(node->ioctl(I2C_SMBUS, reinterpret_cast<unsigned long>(&args)), 0);
    // 25 degrees: 50 halves shifted past the three flags, 0x0190 on the wire most significant byte first,
    // which the SMBus word takes least significant byte first.
    EXPECT_EQ(card.trace_of("smbus"), (std::vector<std::string>{
                                          "smbus /dev/i2c/0 0x48 read word reg 0x00 = 0x9001",
                                          "smbus /dev/i2c/0 0x48 write byte-data reg 0x01 0x12 = ok"}));
}

} // namespace
} // namespace kmb::sim
