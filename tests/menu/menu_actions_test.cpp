// Every action of both menus on the simulated card: what it does to the settings, and that it
// leaves no descriptor open behind it. (The spellings the menus accept are their transcripts'.)
#include <gtest/gtest.h>

#include "diag/options.h"
#include "menu/kmb_menu.h"
#include "menu/top_menu.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

class MenuActions : public ::testing::Test {
protected:
    void SetUp() override { set_default_options(); }
    SimCard card_;
};

TEST_F(MenuActions, TopLevelKeywordsSetWhatTheySay)
{
    struct Case {
        const char* line;
        const char* console; // what a sub-menu or prompt reads afterwards
        bool stays;          // false: the line asks to leave
        int32_t loop, stop_on_error, count, mode;
    };
    const Case cases[] = {
        {"exit\n", "", false, 0, 1, 0, 0},
        {"Exiting\n", "", false, 0, 1, 0, 0},
        {"default\n", "", true, 0, 1, 0, 0},
        {"version\n", "", true, 0, 1, 0, 0},
        {"options\n", "", true, 0, 1, 0, 0},
        {"loop yes\n", "", true, 1, 1, 0, 0},
        {"stop no\n", "", true, 0, 0, 0, 0},
        {"stop\n", "", true, 0, 1, 0, 0},
        // A keyword is whole: three of its letters are not it.
        {"loo  yes\n", "", true, 0, 1, 0, 0},
        {"sto  no\n", "", true, 0, 1, 0, 0},
        {"COUNT 25 passes\n", "", true, 0, 1, 25, 0},
        {"kmb\n", "91\n92\n99\n", true, 0, 1, 0, 0}, // toggles undone on the way out
        {"all\n", "", true, 0, 1, 0, 0},
        {"fvt\n", "", true, 0, 1, 0, 0},
        {"ess\n", "", true, 0, 1, 0, 0},
        {"pxwud yes\n", "", true, 0, 1, 0, MODE_FACTORY | MODE_MANUFACTURING},
        {"pxwud\n", "", true, 0, 1, 0, 0},
        {"jtk yes\n", "", true, 0, 1, 0, MODE_MANUFACTURING},
        {"jtkyes\n", "", true, 0, 1, 0, 0}, // the argument column holds "es"
        {"help\n", "", true, 0, 1, 0, 0},
        {"\n", "", true, 0, 1, 0, 0},
    };
    for (const Case& c : cases) {
        set_default_options();
        card_.os().set_console_input(c.console);
        CapturedOutput capture;
        const bool stays = top_menu_dispatch(c.line);
        capture.stop();
        EXPECT_EQ(stays, c.stays) << c.line;
        EXPECT_EQ(diag_options.loop, c.loop) << c.line;
        EXPECT_EQ(diag_options.stop_on_error, c.stop_on_error) << c.line;
        EXPECT_EQ(diag_options.count, c.count) << c.line;
        EXPECT_EQ(diag_options.mode, c.mode) << c.line;
        EXPECT_EQ(card_.os().open_descriptor_count(), 0) << c.line << card_.os().open_descriptor_names();
    }
}

TEST_F(MenuActions, EveryTestMenuNumberLeavesNoDescriptorOpen)
{
    // Every number the menu knows, and some it does not.
    for (int number : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 20, 21, 22, 23, 24, 25, 69, 70, 71,
                       90, 91, 92, 93, 98, 100, -1, -99}) {
        card_.os().set_console_input(std::to_string(number) + "\n99\n");
        CapturedOutput capture;
        EXPECT_EQ(kmb_test_menu(), 0);
        capture.stop();
        EXPECT_EQ(card_.os().open_descriptor_count(), 0) << number << ": " << card_.os().open_descriptor_names();
    }
}

} // namespace
} // namespace kmb::test
