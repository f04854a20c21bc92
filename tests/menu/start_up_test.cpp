// Start-up's order and what it leaves on the card, run in-process on a simulated card.
#include <gtest/gtest.h>

#include "devices/io_port.h"
#include "diag/options.h"
#include "menu/kmb_main.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using sim::Fault;

// What the program printed from start-up until it read "exit"; it must end with status 1.
std::string console_of(SimCard& card)
{
    card.os().set_console_input("exit\n");
    char name[] = "kmbdiag";
    char* argv[] = {name, nullptr};
    CapturedOutput capture;
    const int status = kmb_main(1, argv);
    capture.stop();
    EXPECT_EQ(status, 1);
    return capture.out();
}

TEST(StartUp, RunsItsStepsInOrder)
{
    SimCard card;
    card.clear_trace();
    console_of(card);
    const std::vector<std::string> expected = {
        // 1. the fixture's marker
        "open /var/run/InTestFixture",
        // 2. the I/O expander's configuration; every bind is the forced one, request 0x0706
        "open /dev/i2c/0", "ioctl /dev/i2c/0 0x0706 0x18", "i2c 0x18 w 02 00", "i2c 0x18 w 01 38",
        "i2c 0x18 w 03 c0",
        // 3. the counter agent's defaults
        "open /dev/i2c/0", "ioctl /dev/i2c/0 0x0706 0x1f", "i2c 0x1f w 02 f0", "i2c 0x1f w 01 00",
        "i2c 0x1f w 03 ff",
        // 4. the CPLD's reset reason; 5. the reset tests' markers, watchdog first
        "open /dev/mem", "open /mnt/logs/diagwd", "open /mnt/logs/diagpri", "open /mnt/logs/diagsec",
        // 8. the fail lamp
        "open /dev/i2c/0", "ioctl /dev/i2c/0 0x0706 0x18", "i2c 0x18 w 01", "i2c 0x18 r 38",
        "wire fixture.lamp_fail 1", "i2c 0x18 w 01 3a",
        // 9. the LM77: configuration and limits, then the temperature and limits read back
        "open /dev/i2c/0", "ioctl /dev/i2c/0 0x0706 0x48", "ioctl /dev/i2c/0 0x0720", "i2c 0x48 w 01 12",
        "ioctl /dev/i2c/0 0x0720", "i2c 0x48 w 02 00 20", "ioctl /dev/i2c/0 0x0720", "i2c 0x48 w 03 04 10",
        "ioctl /dev/i2c/0 0x0720", "i2c 0x48 w 04 00 a0", "ioctl /dev/i2c/0 0x0720", "i2c 0x48 w 05 03 70",
        "ioctl /dev/i2c/0 0x0720", "i2c 0x48 w 00", "i2c 0x48 r 01 90", "ioctl /dev/i2c/0 0x0720", "i2c 0x48 w 04",
        "i2c 0x48 r 00 a0", "ioctl /dev/i2c/0 0x0720", "i2c 0x48 w 05", "i2c 0x48 r 03 70", "ioctl /dev/i2c/0 0x0720",
        "i2c 0x48 w 03", "i2c 0x48 r 04 10",
        // 10. the version text
        "sh /usr/local/bin/version.sh -e -r > /tmp/diag_version", "fopen /tmp/diag_version",
        // the first menu's revision check
        "sh /usr/local/bin/fw_printenv rev# > /tmp/env.log", "fopen /tmp/env.log", "sh rm /tmp/env.log",
    };
    std::vector<std::string> seen;
    for (const std::string& line : card.trace()) {
        // The SMBus summaries repeat the transfers; the expander's pins follow its writes.
        if (line.rfind("smbus ", 0) != 0 && line.rfind("wire fixture.iox.", 0) != 0) {
            seen.push_back(line);
        }
    }
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(card.card().fixture().fail_lamp());
    EXPECT_EQ(diag_options.stop_on_error, 1);
    EXPECT_EQ(card.os().open_descriptor_count(), 0);
}

TEST(StartUp, OutsideTheFixtureNothingIsTouched)
{
    SimCard card({Fault::NoFixture});
    card.clear_trace();
    EXPECT_EQ(console_of(card), "This KMB is not in the test fixture, diagnostic won't run\n");
    EXPECT_EQ(card.trace(), (std::vector<std::string>{"open /var/run/InTestFixture"}));
}

TEST(StartUp, AMissingExpanderIsWarnedAndStartUpGoesOn)
{
    SimCard card({Fault::IoxAbsent});
    EXPECT_EQ(console_of(card).rfind("ERROR open IO expander, most tests can't run\n cpld = 0\n\n\nKMB diagnostic menu", 0), 0u);
    // The counter agent is still put to its defaults.
    EXPECT_EQ(card.card().fixture().counter_agent().read_register(REG_POLARITY), CA_DEFAULT_POLARITY);
}

TEST(StartUp, ACounterAgentLeftDrivingAResetLineIsReleased)
{
    SimCard card;
    sim::Pca9557& port = card.card().fixture().counter_agent();
    // What a reset test leaves: pin 0 an output, driven high again after its pulse.
    const uint8_t left[][2] = {{REG_POLARITY, 0x00}, {REG_OUTPUT, 0x01}, {REG_CONFIG, 0xFE}};
    for (const auto& w : left) {
        port.i2c_write(w, 2);
    }
    console_of(card);
    EXPECT_EQ(port.read_register(REG_CONFIG), CA_DEFAULT_CONFIG);
    EXPECT_EQ(port.read_register(REG_OUTPUT), CA_DEFAULT_OUTPUT);
    EXPECT_EQ(port.read_register(REG_POLARITY), CA_DEFAULT_POLARITY);
}

TEST(StartUp, VersionTextIsTheFirstLineWithoutItsLineEnds)
{
    struct Case {
        const char* file; // nullptr: the card has no release file
        const char* shown;
        bool tmp_gone = false; // the script's output file cannot be made
    };
    const Case cases[] = {
        {"3.2.0\n", "3.2.0"},
        {"4.1-rc2\r\n", "4.1-rc2"},
        {"no line end", "no line end"},
        {"", ""},
        {"first\nsecond\n", "first"},
        {"a release text far longer than the menu has room for\n", "a release text far longer tha"},
        {nullptr, ""},
        {"3.2.0\n", "unknown", true},
    };
    for (const Case& c : cases) {
        SimCard card;
        if (c.file != nullptr) {
            card.card().fs().write_text("/etc/version", c.file);
        } else {
            card.card().fs().remove("/etc/version");
        }
        if (c.tmp_gone) {
            std::filesystem::remove_all(card.card().fs().host_path("/tmp"));
        }
        const std::string out = console_of(card);
        const std::string header = std::string(" cpld = 0\n\n\nKMB diagnostic menu (version ") + c.shown + ")\n";
        EXPECT_EQ(out.rfind(header, 0), 0u) << (c.file ? c.file : "(none)") << "\n" << out.substr(0, 60);
    }
}

TEST(StartUp, RevisionCheckReadsTheTwoCharactersAfterTheName)
{
    struct Case {
        const char* rev; // nullptr: no rev# in the environment
        std::string printed;
    };
    const std::string warning_head = "\nWARNING: You are using a pre-production KMB board(revision ";
    const std::string warning_tail = ").\nYou may wish to upgrade this to a production board.\n\n";
    const Case cases[] = {
        {"A0", "\n"},
        {"z", "\n"},
        {"03", warning_head + "03" + warning_tail},
        {"9Z", warning_head + "9Z" + warning_tail},
        {"-A", warning_head + "-A" + warning_tail},
        {"", warning_head + "\n" + warning_tail},
        {nullptr, warning_head + warning_tail},
    };
    for (const Case& c : cases) {
        SimCard card;
        if (c.rev != nullptr) {
            card.card().env().set("rev#", c.rev);
        } else {
            card.card().env().unset("rev#");
        }
        const std::string out = console_of(card);
        const size_t menu_end = out.find("Stop    <yes|no> (stop-on-error / keep running)\n\n");
        ASSERT_NE(menu_end, std::string::npos);
        const size_t from = menu_end + std::string("Stop    <yes|no> (stop-on-error / keep running)\n\n").size();
        EXPECT_EQ(out.substr(from), c.printed + "Enter Diag, Command or Option : ") << (c.rev ? c.rev : "(none)");
        EXPECT_FALSE(card.card().fs().exists("/tmp/env.log"));
    }
}

} // namespace
} // namespace kmb::test
