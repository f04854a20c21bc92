// The die temperature over card time: the profile file's lines, the interpolation, and the
// LM77 of a card following it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/core/temperature_profile.h"
#include "support/sim_card.h"

namespace kmb::sim {
namespace {

TEST(SimTemperatureProfile, ReadsPointsOfSecondsAndDegrees)
{
    std::string error;
    const auto ok = parse_temperature_profile("# ESS ramp\n0 25\n\n  60.5\t-10.25\r\n120 125\n3600 -55", error);
    ASSERT_TRUE(ok) << error;
    ASSERT_EQ(ok->size(), 4u);
    EXPECT_EQ((*ok)[1].us, 60'500'000);
    EXPECT_EQ((*ok)[1].millidegrees, -10'250);
    EXPECT_EQ((*ok)[3].us, 3'600'000'000);
    EXPECT_EQ((*ok)[3].millidegrees, -55'000);
}

TEST(SimTemperatureProfile, RefusesWhatIsNotAProfileNamingTheLine)
{
    struct Case {
        const char* text;
        const char* error_starts;
    };
    const Case cases[] = {
        {"", "no points"},
        {"0 25\n10\n", "line 2: expected SECONDS DEGREES"},
        {"0 25 30\n", "line 1: expected SECONDS DEGREES"},
        {"0 25\n120 125 # hot\n", "line 2: expected SECONDS DEGREES"}, // a comment after the numbers is a third field
        {"-1 25\n", "line 1: the card time '-1'"},
        {"0.0000001 25\n", "line 1: the card time"},
        {"10000001 25\n", "line 1: the card time"},
        {"0 125.001\n", "line 1: the temperature '125.001'"},
        {"0 2x\n", "line 1: the temperature"},
        {"0 .5\n", "line 1: the temperature"},
        {"0 25\n5 30\n4 35\n", "line 3: the card time does not rise"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_FALSE(parse_temperature_profile(c.text, error));
        EXPECT_EQ(error.rfind(c.error_starts, 0), 0u) << error;
    }
    std::string error;
    EXPECT_FALSE(parse_temperature_profile(std::string("0 25\n\0 1\n", 10), error));
    EXPECT_EQ(error, "line 2: holds a NUL byte");
    EXPECT_FALSE(parse_temperature_profile(std::string(300, ' ') + "0 25\n", error));
    EXPECT_EQ(error.rfind("line 1: longer than", 0), 0u);
    EXPECT_FALSE(parse_temperature_profile(std::string(kMaxProfileBytes + 1, '\n'), error));
    std::string many;
    for (std::size_t i = 0; i <= kMaxProfilePoints; ++i) {
        many += std::to_string(i) + " 25\n";
    }
    EXPECT_FALSE(parse_temperature_profile(many, error));
    EXPECT_EQ(error, "line 10001: more than 10000 points");
}

TEST(SimTemperatureProfile, LinearBetweenPointsHeldOutsideThemInHalfDegrees)
{
    // 20 degrees at 10 s, 30 at 20 s, falling to -1 at 30 s.
    const std::vector<TemperaturePoint> p = {{10'000'000, 20'000}, {20'000'000, 30'000}, {30'000'000, -1'000}};
    struct Case {
        int64_t us;
        int half_degrees;
    };
    const Case cases[] = {
        {0, 40},          {10'000'000, 40}, {15'000'000, 50}, {10'250'000, 41}, // 20.25 rounds up to 20.5
        {10'240'000, 40}, {20'000'000, 60}, {30'000'000, -2}, {99'000'000, -2},
        {29'500'000, 1}, // 0.55 degrees: the nearest half is 0.5
        {29'900'000, -1}, // -0.7: -0.5
    };
    for (const Case& c : cases) {
        EXPECT_EQ(profile_half_degrees(p, c.us), c.half_degrees) << c.us;
    }
}

TEST(SimTemperatureProfile, TheNextChangeIsTheFirstMicrosecondOfTheNextHalfDegree)
{
    const std::vector<TemperaturePoint> p = {{0, 25'000}, {10'000'000, 35'000}, {20'000'000, 35'000}};
    // One degree a second: 25.25 is reached at 0.25 s, and rounds to 25.5.
    EXPECT_EQ(profile_next_change_us(p, 0), 250'000);
    EXPECT_EQ(profile_half_degrees(p, 249'999), 50);
    EXPECT_EQ(profile_half_degrees(p, 250'000), 51);
    EXPECT_EQ(profile_next_change_us(p, 250'000), 750'000);
    EXPECT_EQ(profile_next_change_us(p, 9'900'000), 10'000'000); // the flat stretch starts
    EXPECT_EQ(profile_next_change_us(p, 10'000'000), 20'000'000);
    EXPECT_EQ(profile_next_change_us(p, 20'000'000), -1);
}

TEST(SimTemperatureProfile, TheCardsLm77FollowsItWithoutPullingTheClock)
{
    SimConfig config;
    config.temperature_profile = {{0, 25'000}, {10'000'000, 35'000}};
    test::SimCard card(config);
    auto degrees_x2 = [&] { return card.card().lm77().register_word(0x00) >> 3; };
    EXPECT_EQ(degrees_x2(), 50);
    card.card().clock().run_device_timers(); // a console wait at speed 0
    EXPECT_EQ(card.card().clock().now_us(), 0);
    card.card().clock().advance(5'000'000);
    EXPECT_EQ(degrees_x2(), 60);
    card.card().clock().advance(60'000'000);
    EXPECT_EQ(degrees_x2(), 70);
}

} // namespace
} // namespace kmb::sim
