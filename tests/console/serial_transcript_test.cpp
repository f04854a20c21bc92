// Menu 2, the serial port test, as the operator sees it on the simulated card: healthy, under
// each fault of the port and its loopback connector, and looped.
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"
#include "support/run_sim.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

using SerialTranscript = SimTranscript;

const std::string kNoLineAtAll = "Error check control line\n"
                                 "expected: DTR, RTS, CTS, CAR, DSR\n"
                                 "modem status read: DTR RTS \n";

TEST_F(SerialTranscript, OneRunOnAHealthyOrFaultyPort)
{
    struct Case {
        const char* fault; // nullptr: a healthy card
        std::string printed;
        std::string err;
    };
    const Case cases[] = {
        {nullptr, serial_passed(0), ""},
        {"serial-absent", kSerialFailed, "serial port open file fail: No such file or directory\n"},
        // No connector: step 2 reads back only what the card drives itself.
        {"serial-no-loopback", kNoLineAtAll + kSerialFailed, ""},
        {"serial-rts-cts-only",
         "Error check control line\n"
         "expected: DTR, RTS, CTS, CAR, DSR\n"
         "modem status read: DTR RTS CTS \n" +
             kSerialFailed,
         ""},
        // The ring indicator fails step 1 and is not named.
        {"serial-ring",
         "Error check control line\n"
         "expected: ALL LINES '0'\n"
         "modem status read: \n" +
             kSerialFailed,
         ""},
        // The first pass comes up short and no other pass runs.
        {"serial-drop-byte", spinner(0, 1) + "not all data received\n" + kSerialFailed, ""},
        // The first pass tells the first eleven differences, then the compare stops.
        {"serial-corrupt",
         spinner(0, 1) +
             "data error, i = 0, expected 0x0, receive 0x1\n"
             "data error, i = 1, expected 0x1, receive 0x0\n"
             "data error, i = 2, expected 0x2, receive 0x3\n"
             "data error, i = 3, expected 0x3, receive 0x2\n"
             "data error, i = 4, expected 0x4, receive 0x5\n"
             "data error, i = 5, expected 0x5, receive 0x4\n"
             "data error, i = 6, expected 0x6, receive 0x7\n"
             "data error, i = 7, expected 0x7, receive 0x6\n"
             "data error, i = 8, expected 0x8, receive 0x9\n"
             "data error, i = 9, expected 0x9, receive 0x8\n"
             "data error, i = 10, expected 0xa, receive 0xb\n" +
             kSerialFailed,
         ""},
    };
    for (const Case& c : cases) {
        const std::string fault = c.fault != nullptr ? c.fault : "healthy";
        std::vector<std::string> args;
        if (c.fault != nullptr) {
            args = {"--fault", c.fault};
        }
        const SimRun r = run("kmb\n2\n99\nexit\n", args);
        EXPECT_TRUE(transcript_is(r.out, top_cycle() + kmb_cycle(0) + c.printed + kmb_cycle(2) + top_cycle())) << fault;
        EXPECT_EQ(r.err, c.err) << fault;
        EXPECT_EQ(r.exit_status, 1) << fault;
    }
}

TEST_F(SerialTranscript, LoopedRunsUntilCtrlCOrTheFirstFailure)
{
    struct Case {
        const char* title;
        std::string console;
        std::vector<std::string> args;
        std::string printed; // between the prompt that takes 2 and the next one
        std::string toggles; // what 91 and 92 printed before it
    };
    const Case cases[] = {
        // A run takes 3.2 s of card time: a Ctrl-C at 5 s lands in the second, which completes.
        {"healthy", "kmb\n91\n2\n91\n99\nexit\n", {"--sigint-at", "5", "--sigint-at", "300"},
         serial_passed(0) + serial_passed(kSerialPasses), "loop is enabled\n" + kmb_cycle(91)},
        // Stop on error ends the loop at the first failing run.
        {"stop on error", "kmb\n91\n2\n91\n99\nexit\n", {"--fault", "serial-no-loopback", "--sigint-at", "300"},
         kNoLineAtAll + kSerialFailed, "loop is enabled\n" + kmb_cycle(91)},
        // Keep running: the byte is lost once, in the first run's first pass (some 1.05 s with
        // its second of silence); the runs after it pass, and a Ctrl-C at 6 s lands in the third.
        {"keep running", "kmb\n91\n92\n2\n91\n99\nexit\n",
         {"--fault", "serial-drop-byte", "--sigint-at", "6", "--sigint-at", "300"},
         spinner(0, 1) + "not all data received\n" + kSerialFailed + serial_passed(1) + serial_passed(1 + kSerialPasses),
         "loop is enabled\n" + kmb_cycle(91) + "stop on error is disabled\n" + kmb_cycle(92)},
    };
    for (const Case& c : cases) {
        const SimRun r = run(c.console, c.args);
        EXPECT_TRUE(transcript_is(r.out, top_cycle() + kmb_cycle(0) + c.toggles + c.printed + kmb_cycle(2) +
                                             "loop is disabled\n" + kmb_cycle(91) + top_cycle()))
            << c.title;
    }
}

} // namespace
} // namespace kmb::test
