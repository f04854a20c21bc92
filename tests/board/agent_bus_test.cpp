// The agent bus and interrupt tests against the fixture's expander and the card's interrupt
// lines, and the reader of /proc/interrupts on the layouts the kernel writes. (Each line fault's
// verdict and lamps are menus 4, 6 and 7's transcripts and the fault-coverage runs, the bus
// test's polarity read-back its iox-polarity-bit0-stuck run.)
#include <gtest/gtest.h>

#include <optional>

#include "board/agent_bus.h"
#include "board/interrupts.h"
#include "board/io_expander.h"
#include "console/operator_texts.h"
#include "devices/agentdrv.h"
#include "board/printed.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

void serve_interrupts(SimCard& card, std::optional<std::string> text)
{
    card.card().add_kernel_file("/proc/interrupts", [text] { return text; });
}

TEST(ReadIrqCounts, KernelLayouts)
{
    struct Case {
        const char* what;
        std::string text;
        IrqCounts expected; // lines 27, 28, 25, 26
    };
    const Case cases[] = {
        {"one CPU",
         "           CPU0       \n"
         " 16:      48213    KMBPIC-level     i2c\n"
         " 25:          1    KMBPIC-level     agent_irq\n"
         " 26:          2    KMBPIC-level     agent_iirq\n"
         " 27:         30    KMBPIC-level     lm77_int\n"
         " 28:        400    KMBPIC-level     lm77_crit\n"
         "LOC:    8640000   Local timer interrupts\n",
         {{30, 400, 1, 2}}},
        {"four CPUs: the first column counts",
         "           CPU0       CPU1       CPU2       CPU3       \n"
         " 25:          5          6          7          8   KMBPIC-level     agent_irq\n"
         " 27:         11         12         13         14   KMBPIC-level     lm77_int\n",
         {{11, 0, 5, 0}}},
        {"seven digits", " 25:    1234567    KMBPIC-level     agent_irq\n", {{0, 0, 1234567, 0}}},
        {"ten digits keep the last seven", " 26: 4294967295 KMBPIC-level agent_iirq\n", {{0, 0, 0, 4967295}}},
        {"lines missing read 0", "           CPU0       \n 16:         99    KMBPIC-level     i2c\n", {{0, 0, 0, 0}}},
        {"a later line replaces", " 28:          3 x\n 28:          9 y\n", {{0, 9, 0, 0}}},
        {"the end of the file ends the count", " 26: 42", {{0, 0, 0, 42}}},
        {"the sequence stands anywhere: 125 reads as 25", "125:         77 x\n", {{0, 0, 77, 0}}},
        {"a broken match passes over the breaking character", "225: 5 22: 6 2 7: 8\n", {{0, 0, 0, 0}}},
        {"nothing", "", {{0, 0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimCard card;
        serve_interrupts(card, c.text);
        IrqCounts counts{{-5, -5, -5, -5}};
        EXPECT_EQ(read_irq_counts(&counts), 0);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(counts.count[i], c.expected.count[i]) << "position " << i;
        }
        EXPECT_EQ(card.os().open_descriptor_count(), 0);
    }
}

TEST(ReadIrqCounts, AMissingFileIsReportedAndLeavesTheCounts)
{
    SimCard card;
    serve_interrupts(card, std::nullopt);
    IrqCounts counts{{1, 2, 3, 4}};
    CapturedOutput capture;
    EXPECT_EQ(read_irq_counts(&counts), 1);
    capture.stop();
    EXPECT_EQ(capture.err(), "Error open interrupts file: No such file or directory\n");
    EXPECT_EQ(counts.count[0] + counts.count[1] + counts.count[2] + counts.count[3], 10);
}

const std::string kDeaf = "Error write to counter agent: Remote I/O error\n";

// What no run of the fault-coverage report isolates: the healthy tests' lines disarmed again,
// and the tests without an expander, or with one that does not acknowledge.
TEST(AgentBus, VerdictWithAHealthyMissingOrDeafExpander)
{
    struct Case {
        const char* what;
        std::vector<Fault> faults;
        int (*test)();
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"irq healthy", {}, agent_irq_test, kAgentIrqPassed, ""},
        {"iirq healthy", {}, agent_iirq_test, kAgentIirqPassed, ""},
        {"bus healthy", {}, agent_i2c_bus_test, kAgentI2cPassed, ""},
        {"irq without the expander", {Fault::IoxAbsent}, agent_irq_test, kIrqMissed + kAgentIrqFailed, ""},
        // The lamps' reads and the pulse's read each say so.
        {"iirq with a deaf expander", {Fault::IoxNack}, agent_iirq_test, kIirqMissed + kAgentIirqFailed,
         kDeaf + kDeaf + kDeaf},
        {"bus with a deaf expander", {Fault::IoxNack}, agent_i2c_bus_test, kAgentI2cFailed, kDeaf + kDeaf},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimCard card(c.faults);
        io_expander_init();
        const Printed p = printed(c.test);
        const bool passed = c.out.find("PASSED\n") != std::string::npos;
        EXPECT_EQ(p.result, passed ? 0 : 1);
        EXPECT_EQ(p.out, c.out);
        EXPECT_EQ(p.err, c.err);
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
        for (int line : {IRQ_AGENT, IRQ_AGENT_IIRQ}) {
            EXPECT_FALSE(card.card().agent_driver().armed(line) && passed) << "a taken interrupt disarms its line";
        }
    }
}

// A card up long enough has counted millions of interrupts; the reader keeps seven digits of
// each count, and one pulse that takes a count from 9999999 to 10000000 is still one pulse.
TEST(AgentBus, OnePulsePastSevenDigitsIsOneCount)
{
    struct Case {
        int (*test)();
        int line;
        uint32_t counted_before; // by the kernel before the card's own counts begin
        std::string out;
    };
    const Case cases[] = {
        {agent_irq_test, IRQ_AGENT, 9999999, kAgentIrqPassed},
        {agent_iirq_test, IRQ_AGENT_IIRQ, 9999999, kAgentIirqPassed},
        {agent_irq_test, IRQ_AGENT, 9999998, kAgentIrqPassed},
        {agent_irq_test, IRQ_AGENT, 19999999, kAgentIrqPassed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.line) + " from " + std::to_string(c.counted_before));
        SimCard card;
        io_expander_init();
        sim::Card& inner = card.card();
        inner.add_kernel_file("/proc/interrupts", [&inner, c] {
            return std::optional<std::string>(" " + std::to_string(c.line) + ":   " +
                                              std::to_string(c.counted_before + inner.interrupts().count(c.line)) +
                                              "    KMBPIC-level     agent\n");
        });
        const Printed p = printed(c.test);
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(p.out, c.out);
    }
}

TEST(AgentBus, EachPulseDrivesOnlyItsOwnPinLowAndBack)
{
    struct Case {
        int (*test)();
        const char* asserted;
    };
    const Case cases[] = {{agent_irq_test, "i2c 0x18 w 01 30"}, {agent_iirq_test, "i2c 0x18 w 01 28"}};
    for (const Case& c : cases) {
        SimCard card;
        io_expander_init();
        card.clear_trace();
        printed(c.test);
        const std::vector<std::string> expected = {
            "i2c 0x18 w 01", "i2c 0x18 r 38", "i2c 0x18 w 01 38",                 // lamps off
            "i2c 0x18 w 01", "i2c 0x18 r 38", c.asserted,         "i2c 0x18 w 01 38", // the pulse
            "i2c 0x18 w 01", "i2c 0x18 r 38", "i2c 0x18 w 01 3c",                 // the pass lamp
        };
        EXPECT_EQ(card.trace_of("i2c 0x18"), expected) << c.asserted;
    }
}

} // namespace
} // namespace kmb::test
