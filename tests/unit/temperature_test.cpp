// The temperature sensor test and the ESS reading against the simulated LM77 and the card's
// interrupt lines: the codes, the operator's lines, where each limit is left, and the card
// seconds the checks wait.
#include <gtest/gtest.h>

#include <algorithm>

#include "board/io_expander.h"
#include "board/temperature.h"
#include "devices/agentdrv.h"
#include "devices/i2c.h"
#include "devices/lm77.h"
#include "os/os.h"
#include "shell/options.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

const std::string kLabel = "Temperature sensor test ................";
const std::string kHint = "** Check CPU and LM77 chip           **\n";
const std::string kOutOfRange = "Current temperature is out of range, \ncheck your enviroment, or LM77 chip\n";
const std::string kIntStuck = "interrupt happenes without trigger\nyou may have temperature interrupt line stuck LOW\n";
const std::string kIntMissed = "Expected LM77 interrupt didn't happen\ntemperature interrupt line may stuck HIGH\n";
const std::string kCritStuck = "critical interrupt happenes without trigger\ncritical interrupt line may stuck LOW\n";
const std::string kCritMissed =
    "Expected LM77 critical interrupt didn't happen\ncritical interrupt line may stuck HIGH\n";

// The spinner's steps from where the process's spinner stands, as spinner_step prints them.
std::string spinner_from(int phase, int count)
{
    static const char* const kSteps[] = {"|\b", "/\b", "-\b", "\\\b"};
    std::string out;
    for (int i = 1; i <= count; ++i) {
        out += kSteps[(phase + i) % 4];
    }
    return out;
}

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

void PrintTo(const Case& c, std::ostream* out) { *out << c.what; }

class TemperatureTest : public ::testing::TestWithParam<Case> {};

int limit_of(int fd, int reg)
{
    int value = 0;
    lm77_read_reg(fd, reg, &value);
    return lm77_to_celsius(value & 0xFFFF);
}

TEST_P(TemperatureTest, CodeLinesAndLimitsFollowTheSensor)
{
    const Case& c = GetParam();
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
    CapturedOutput capture;
    const int code = temperature_sensor_test();
    capture.stop();
    const int64_t waited = card.card().clock().now_us() - start;

    EXPECT_EQ(code, c.code);
    std::string expected;
    if (card.card().i2c().answers(LM77_ADDRESS)) {
        expected = "Current temperature " + std::to_string(lm77_to_celsius((c.half_degrees << 3) & 0xFFFF)) + " C\n";
    }
    // The spinner steps come before the check each one announces, so they stand ahead of the
    // check's own lines.
    expected += spinner_from(phase, c.spinner_steps) + c.lines + kLabel + (c.code == 0 ? "PASSED\n" : "FAILED\n" + kHint);
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

INSTANTIATE_TEST_SUITE_P(
    Sensor, TemperatureTest,
    ::testing::Values(
        Case{"healthy", 50, {}, 0, "", 3, "", 55, 10, 65, 42},
        Case{"clear of the low limit's hysteresis", 25, {}, 0, "", 3, "", 55, 10, 65, 42},
        Case{"clear of the high limit's hysteresis", 105, {}, 0, "", 3, "", 55, 10, 65, 42},
        // In range, but the sensor's hysteresis holds INT back when a limit is put back within
        // two degrees of the temperature: the check that puts it back misses its interrupt.
        Case{"exactly the low end", 20, {}, 5, kIntMissed, 2, "", 55, 10, 65, 28},
        Case{"exactly the high end", 110, {}, 5, kIntMissed, 1, "", 55, 10, 65, 14},
        // 55.5 degrees reads 55 but is already past T_HIGH: moving T_HIGH lower is no event.
        Case{"half a degree over the high end", 111, {}, 5, kIntMissed, 1, "", 45, 10, 65, 8},
        Case{"below the range", 18, {}, 7, kOutOfRange, 0, "", 55, 10, 65, 0},
        Case{"above the range", 112, {}, 7, kOutOfRange, 0, "", 55, 10, 65, 0},
        Case{"below zero", -1, {}, 7, kOutOfRange, 0, "", 55, 10, 65, 0},
        Case{"temperature line stuck", 50, {Fault::Lm77IntStuck}, 1, kIntStuck, 1, "", 55, 10, 65, 5},
        // T_HIGH stays ten degrees below the temperature of the moment.
        Case{"temperature line open", 50, {Fault::Lm77IntOpen}, 5, kIntMissed, 1, "", 15, 10, 65, 8},
        Case{"critical line stuck", 50, {Fault::Lm77CritStuck}, 1, kCritStuck, 3, "", 55, 10, 65, 33},
        Case{"critical line open", 50, {Fault::Lm77CritOpen}, 6, kCritMissed, 3, "", 55, 10, 15, 36}),
    [](const ::testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* p = info.param.what; *p != '\0'; ++p) {
            if (std::isalnum(static_cast<unsigned char>(*p))) {
                name += *p;
            }
        }
        return name;
    });

TEST(Temperature, ASensorThatCannotBeOpenedFailsWithCodeOne)
{
    SimCard card({Fault::Lm77Absent});
    io_expander_init();
    CapturedOutput capture;
    EXPECT_EQ(temperature_sensor_test(), 1);
    EXPECT_EQ(temperature_reading_check(), 1);
    capture.stop();
    EXPECT_EQ(capture.out(), kLabel + "FAILED\n" + kHint);
    EXPECT_EQ(capture.err(), "Error open i2c device: No such device or address\n"
                             "Error open i2c device: No such device or address\n");
    EXPECT_TRUE(card.card().faults().fired(Fault::Lm77Absent));
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

TEST(Temperature, EssReadingPrintsTheTemperatureAndLightsThePassLampWhateverItIs)
{
    for (int half_degrees : {50, 130, -25}) {
        sim::SimConfig config;
        config.temperature_half_degrees = half_degrees;
        SimCard card(config);
        io_expander_init();
        indicate_fail();
        CapturedOutput capture;
        EXPECT_EQ(temperature_reading_check(), 0);
        capture.stop();
        EXPECT_EQ(capture.out(), "Current temperature " + std::to_string(lm77_to_celsius(half_degrees << 3 & 0xFFFF)) +
                                     " C\n");
        EXPECT_TRUE(card.card().fixture().pass_lamp());
        EXPECT_FALSE(card.card().fixture().fail_lamp()) << "the pass lamp turns the fail lamp off";
        EXPECT_EQ(card.os().open_descriptor_count(), 0);
    }
}

TEST(Temperature, EachLimitRaisesItsLineOnceEachWay)
{
    SimCard card;
    lm77_init();
    int fd = -1;
    ASSERT_EQ(i2c_dev_open(&fd, LM77_ADDRESS), 0);
    const sim::InterruptLines& lines = card.card().interrupts();
    EXPECT_EQ(lm77_limit_irq_test(fd, LM77_REG_THIGH), 0);
    EXPECT_EQ(lines.count(IRQ_LM77_TEMP), 2u);
    EXPECT_EQ(lm77_limit_irq_test(fd, LM77_REG_TLOW), 0);
    EXPECT_EQ(lines.count(IRQ_LM77_TEMP), 4u);
    EXPECT_EQ(lm77_crit_irq_test(fd), 0);
    EXPECT_EQ(lines.count(IRQ_LM77_CRIT), 1u);
    EXPECT_EQ(lines.count(IRQ_LM77_TEMP), 4u) << "the critical check leaves the temperature line alone";
    os::close(fd);
}

} // namespace
} // namespace kmb::test
