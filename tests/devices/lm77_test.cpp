// The LM77 driver against the simulated sensor: the conversions, the retries, the zone and the
// register names. (Its words on the wire, swapped both ways, are StartUp.RunsItsStepsInOrder's;
// the cache start-up fills, the service's first query.)
#include <gtest/gtest.h>

#include <linux/i2c-dev.h>

#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/lm77.h"
#include "os/os.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(Lm77, ConversionsFollowTheSensorsFormat)
{
    const std::pair<int, int> to_celsius[] = {
        {0x0190, 25}, {0xFFF8, -1}, {0xFC90, -55}, {0xFFFF, -1}, {0x0019, 1}, {0x07D0, 125}, {0x0198, 25},
        {0x0000, 0},  {0x0FF0, 255}, {0x1000, -256},
    };
    for (const auto& [word, celsius] : to_celsius) {
        EXPECT_EQ(lm77_to_celsius(word), celsius) << std::hex << word;
    }
    const std::pair<int, int> from_celsius[] = {
        {2, 0x0020},    {10, 0x00A0},  {55, 0x0370}, {65, 0x0410}, {125, 0x07D0}, {-55, 0xFC90},
        {200, 0x07D0},  {-60, 0xFC90}, {130, 0x07D0}, {0, 0x0000},  {-1, 0xFFF0},
    };
    for (const auto& [celsius, word] : from_celsius) {
        EXPECT_EQ(lm77_from_celsius(celsius), word) << celsius;
    }
}

TEST(Lm77, FailedAccessesAreTriedTwiceAndLogged)
{
    SimCard card;
    int fd = -1;
    ASSERT_EQ(i2c_dev_open(&fd, LM77_ADDRESS), ERR_NONE);
    card.card().i2c().detach(LM77_ADDRESS); // the sensor dies after the bind
    int value = 0;
    EXPECT_EQ(lm77_read_reg(fd, LM77_REG_TLOW, &value), ERR_READ);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(lm77_read_reg(fd, LM77_REG_CONFIG, &value), ERR_READ);
    EXPECT_EQ(lm77_write_reg(fd, LM77_REG_THIGH, 0x0370), ERR_WRITE);
    EXPECT_EQ(lm77_write_reg(fd, LM77_REG_CONFIG, 0x12), ERR_WRITE);
    EXPECT_EQ(card.syslog_lines(), (std::vector<std::string>{
                                       "7 Error reading register 0x04, try 0\n\n",
                                       "7 Error reading register 0x04, try 1\n\n",
                                       "7 Error reading register 0x01, try 0\n\n",
                                       "7 Error reading register 0x01, try 1\n\n",
                                       "7 Error writing 0x0370 to register 0x05\n\n",
                                       "7 Error writing 0x0370 to register 0x05\n\n",
                                       "7 Error writing 0x0012 to register 0x01\n\n",
                                       "7 Error writing 0x0012 to register 0x01\n\n",
                                   }));
    os::close(fd);
}

TEST(Lm77, StartUpWithoutTheSensorChangesNothing)
{
    SimCard card;
    card.card().i2c().detach(LM77_ADDRESS);
    lm77_state = {30, 1, 2, 3, LM77_ZONE_HIGH};
    EXPECT_EQ(lm77_init(), ERR_I2C);
    EXPECT_EQ(lm77_state.temp, 30);
    EXPECT_EQ(lm77_state.zone, LM77_ZONE_HIGH);
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

TEST(Lm77, ZoneOfTheCachedTemperature)
{
    struct Case {
        int temp, low, high, crit, zone;
    };
    const Case cases[] = {
        {10, 10, 55, 65, LM77_ZONE_LOW},  {11, 10, 55, 65, LM77_ZONE_NORMAL},   {54, 10, 55, 65, LM77_ZONE_NORMAL},
        {55, 10, 55, 65, LM77_ZONE_HIGH}, {64, 10, 55, 65, LM77_ZONE_HIGH},     {65, 10, 55, 65, LM77_ZONE_CRITICAL},
        {-1, 10, 55, 65, LM77_ZONE_LOW},  {70, 80, 55, 65, LM77_ZONE_LOW}, // a T_LOW above T_CRIT: low wins
    };
    for (const Case& c : cases) {
        lm77_state = {c.temp, c.low, c.high, c.crit, -1};
        EXPECT_EQ(lm77_update_zone(), 0);
        EXPECT_EQ(lm77_state.zone, c.zone) << c.temp;
    }
    lm77_state = {};
    lm77_set_cached_limit(LM77_REG_TCRIT, 70);
    lm77_set_cached_limit(LM77_REG_TLOW, -5);
    lm77_set_cached_limit(LM77_REG_THIGH, 60);
    lm77_set_cached_limit(LM77_REG_THYST, 9);
    lm77_set_cached_limit(LM77_REG_TEMP, 9);
    EXPECT_EQ(lm77_state.t_crit, 70);
    EXPECT_EQ(lm77_state.t_low, -5);
    EXPECT_EQ(lm77_state.t_high, 60);
    EXPECT_EQ(lm77_state.temp, 0);
}

TEST(Lm77, RegisterNames)
{
    int read_only = -1;
    const std::tuple<const char*, int, int> rows[] = {
        {"temp", 0, 1}, {"lo", 4, 0}, {"hi", 5, 0}, {"crit", 3, 0}, {"Temp", -1, -1}, {"hys", -1, -1}, {"", -1, -1},
    };
    for (const auto& [name, reg, flag] : rows) {
        read_only = -1;
        EXPECT_EQ(lm77_reg_by_name(name, &read_only), reg) << name;
        EXPECT_EQ(read_only, flag) << name;
    }
    EXPECT_STREQ(lm77_reg_name(3), "crit");
    EXPECT_EQ(lm77_reg_name(2), nullptr);
    CapturedOutput capture;
    lm77_print_reg_names(0);
    lm77_print_reg_names(1);
    capture.stop();
    EXPECT_EQ(capture.out(), "temp | lo | hi | crit]\n"
                             "lo | hi | crit] <value(C)>\n\n");
}

} // namespace
} // namespace kmb::test
