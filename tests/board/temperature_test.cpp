// The temperature sensor test and the ESS reading against the simulated LM77 and the card's
// interrupt lines: the codes, the operator's lines, where each limit is left, and the card
// seconds the checks wait.
#include <gtest/gtest.h>

#include <algorithm>

#include "board/io_expander.h"
#include "board/temperature.h"
#include "console/operator_texts.h"
#include "devices/agentdrv.h"
#include "devices/i2c.h"
#include "devices/lm77.h"
#include "diag/indications.h"
#include "diag/options.h"
#include "os/os.h"
#include "board/printed.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

struct Case {
    const char* what;
    int half_degrees;
    std::vector<Fault> faults;
    int code;
    std::string lines;    // what comes after the temperature line (spinner steps aside)
    int spinner_steps;
    std::string err;
    int t_high, t_low, t_crit; // where the sensor's limits are left, whole degrees
    int64_t waited_s;          // the card seconds the checks wait
};

int limit_of(int fd, int reg)
{
    int value = 0;
    lm77_read_reg(fd, reg, &value);
    return lm77_to_celsius(value & 0xFFFF);
}

void check(const Case& c)
{
    sim::SimConfig config;
    config.faults = c.faults;
    config.temperature_half_degrees = c.half_degrees;
    SimCard card(config);
    io_expander_init();
    lm77_init();
    // Where the spinner stands: one step and a backspace show it.
    CapturedOutput probe;
    spinner_step();
    probe.stop();
    const std::string steps[] = {"|\b", "/\b", "-\b", "\\\b"};
    const int phase = static_cast<int>(std::find(std::begin(steps), std::end(steps), probe.out()) - std::begin(steps));

    const int64_t start = card.card().clock().now_us();
    card.clear_trace();
    CapturedOutput capture;
    const int code = temperature_sensor_test();
    capture.stop();
    const int64_t waited = card.card().clock().now_us() - start;
    // Both lamps go off while the checks run, before the verdict lights one.
    const std::vector<std::string> lamps = card.trace_of("i2c 0x18 w 01 ");
    ASSERT_EQ(lamps.size(), 2u);
    EXPECT_EQ(lamps[0], "i2c 0x18 w 01 38");

    EXPECT_EQ(code, c.code);
    std::string expected;
    if (card.card().i2c().answers(LM77_ADDRESS)) {
        expected = "Current temperature " + std::to_string(lm77_to_celsius((c.half_degrees << 3) & 0xFFFF)) + " C\n";
    }
    // The spinner steps come before the check each one announces, so they stand ahead of the
    // check's own lines.
    expected += spinner(phase, c.spinner_steps) + c.lines + kTemperatureLabel + (c.code == 0 ? "PASSED\n" : "FAILED\n" + kTemperatureHint);
    EXPECT_EQ(capture.out(), expected);
    EXPECT_EQ(capture.err(), c.err);
    EXPECT_EQ(waited / 1000000, c.waited_s) << "card time waited, in whole seconds";
    EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
    EXPECT_EQ(card.card().fixture().pass_lamp(), c.code == 0);
    EXPECT_EQ(card.card().fixture().fail_lamp(), c.code != 0);
    if (!card.card().i2c().answers(LM77_ADDRESS)) {
        return;
    }
    int fd = -1;
    ASSERT_EQ(i2c_dev_open(&fd, LM77_ADDRESS), 0);
    EXPECT_EQ(limit_of(fd, LM77_REG_THIGH), c.t_high);
    EXPECT_EQ(limit_of(fd, LM77_REG_TLOW), c.t_low);
    EXPECT_EQ(limit_of(fd, LM77_REG_TCRIT), c.t_crit);
    os::close(fd);
    EXPECT_FALSE(card.card().agent_driver().armed(IRQ_LM77_CRIT)) << "the critical check leaves line 28 disarmed";
}

TEST(Temperature, CodeLinesAndLimitsFollowTheSensor)
{
    // Out of range, and the sensor absent, are menu 5's transcripts: no check runs there.
    const Case cases[] = {
        {"healthy", 50, {}, 0, "", 3, "", 55, 10, 65, 42},
        {"clear of the low limit's hysteresis", 25, {}, 0, "", 3, "", 55, 10, 65, 42},
        {"clear of the high limit's hysteresis", 105, {}, 0, "", 3, "", 55, 10, 65, 42},
        // In range, but the sensor's hysteresis holds INT back when a limit is put back within
        // two degrees of the temperature: the check that puts it back misses its interrupt.
        {"exactly the low end", 20, {}, 5, kLm77IntMissed, 2, "", 55, 10, 65, 28},
        {"exactly the high end", 110, {}, 5, kLm77IntMissed, 1, "", 55, 10, 65, 14},
        // 55.5 degrees reads 55 but is already past T_HIGH: moving T_HIGH lower is no event.
        {"half a degree over the high end", 111, {}, 5, kLm77IntMissed, 1, "", 45, 10, 65, 8},
        {"temperature line stuck", 50, {Fault::Lm77IntStuck}, 1, kLm77IntStuck, 1, "", 55, 10, 65, 5},
        // T_HIGH stays ten degrees below the temperature of the moment.
        {"temperature line open", 50, {Fault::Lm77IntOpen}, 5, kLm77IntMissed, 1, "", 15, 10, 65, 8},
        {"critical line stuck", 50, {Fault::Lm77CritStuck}, 1, kLm77CritStuck, 3, "", 55, 10, 65, 33},
        {"critical line open", 50, {Fault::Lm77CritOpen}, 6, kLm77CritMissed, 3, "", 55, 10, 15, 36},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        check(c);
    }
}

TEST(Temperature, EssReadingLightsThePassLampWhateverTheTemperatureIs)
{
    struct Case {
        int half_degrees;
        std::vector<Fault> faults;
    };
    for (const Case& c : {Case{50, {}}, Case{130, {}}, Case{-25, {}}, Case{50, {Fault::Lm77Absent}}}) {
        sim::SimConfig config;
        config.temperature_half_degrees = c.half_degrees;
        config.faults = c.faults;
        SimCard card(config);
        io_expander_init();
        indicate_fail();
        const Printed p = printed(temperature_reading_check);
        const bool absent = !c.faults.empty();
        EXPECT_EQ(p.result, absent ? 1 : 0);
        EXPECT_EQ(p.out, absent ? "" : "Current temperature " + std::to_string(lm77_to_celsius(c.half_degrees << 3 & 0xFFFF)) + " C\n");
        EXPECT_EQ(p.err, absent ? "Error open i2c device: No such device or address\n" : "");
        EXPECT_EQ(card.card().fixture().pass_lamp(), !absent);
        EXPECT_EQ(card.card().fixture().fail_lamp(), absent) << "the pass lamp turns the fail lamp off";
        EXPECT_EQ(card.os().open_descriptor_count(), 0);
    }
}

// The agent driver's requests of one check, without their results: 0 arms a line, 1 disarms it,
// 2 reads the status.
std::vector<std::string> driver_requests(SimCard& card)
{
    std::vector<std::string> requests;
    for (const std::string& line : card.trace_of("agentdrv ")) {
        requests.push_back(line.substr(0, line.find(" =")));
    }
    card.clear_trace();
    return requests;
}

TEST(Temperature, EachLimitRaisesItsLineOnceEachWay)
{
    SimCard card;
    lm77_init();
    int fd = -1;
    ASSERT_EQ(i2c_dev_open(&fd, LM77_ADDRESS), 0);
    const sim::InterruptLines& lines = card.card().interrupts();
    // Armed before the settling wait and again after the quiet one, and after the first event.
    const std::vector<std::string> limit = {"agentdrv 2", "agentdrv 0 27", "agentdrv 0 27",
                                            "agentdrv 2", "agentdrv 0 27", "agentdrv 2"};
    card.clear_trace();
    EXPECT_EQ(lm77_limit_irq_test(fd, LM77_REG_THIGH), 0);
    EXPECT_EQ(lines.count(IRQ_LM77_TEMP), 2u);
    EXPECT_EQ(driver_requests(card), limit);
    EXPECT_EQ(lm77_limit_irq_test(fd, LM77_REG_TLOW), 0);
    EXPECT_EQ(lines.count(IRQ_LM77_TEMP), 4u);
    EXPECT_EQ(driver_requests(card), limit);
    EXPECT_EQ(lm77_crit_irq_test(fd), 0);
    EXPECT_EQ(driver_requests(card), (std::vector<std::string>{"agentdrv 2", "agentdrv 0 28", "agentdrv 0 28",
                                                               "agentdrv 1 28", "agentdrv 2", "agentdrv 2"}));
    EXPECT_EQ(lines.count(IRQ_LM77_CRIT), 1u);
    EXPECT_EQ(lines.count(IRQ_LM77_TEMP), 4u) << "the critical check leaves the temperature line alone";
    os::close(fd);
}

} // namespace
} // namespace kmb::test
