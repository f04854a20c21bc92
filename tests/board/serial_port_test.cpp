// The serial port test against the simulated port: what it does to the port, pass by pass, and
// what it leaves behind.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <vector>

#include "board/serial_port.h"
#include "board/printed.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(SerialPort, HealthyRunSetsFifteenPassesFastToSlowAndGivesThePortBack)
{
    SimCard card;
    const termios before = card.card().serial_port().attributes();
    const int64_t started = card.card().clock().now_us();

    const Printed p = printed(serial_port_test);
    EXPECT_EQ(p.result, 0) << p.out;

    // Every pass raw 8N1 at its speed, then the port's own settings back.
    std::vector<std::string> expected;
    for (int round = 0; round < 3; ++round) {
        for (const char* speed : {"115200", "57600", "38400", "19200", "9600"}) {
            expected.push_back(std::string("tts attributes ") + speed + " 8N1 raw vmin 0 vtime 10");
        }
    }
    expected.push_back("tts attributes 9600 8N1 canonical vmin 1 vtime 0");
    EXPECT_EQ(card.trace_of("tts attributes"), expected);
    EXPECT_EQ(card.trace_of("tts tcflush"), std::vector<std::string>{"tts tcflush " + std::to_string(TCIFLUSH)});
    EXPECT_EQ(std::memcmp(&card.card().serial_port().attributes(), &before, sizeof before), 0);

    // 512 bytes of ten bits at each speed, three times: 3.2 s of card time, and no pass waited
    // for a second of silence after its last byte.
    const int64_t spent = card.card().clock().now_us() - started;
    EXPECT_GE(spent, 3'200'000);
    EXPECT_LT(spent, 3'210'000);

    // The test leaves DTR and RTS up; the port's own settings (HUPCL) drop them at the close.
    EXPECT_EQ(card.card().serial_port().modem_control(), 0);
    EXPECT_EQ(card.card().serial_port().open_count(), 0);
    EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
}

TEST(SerialPort, ModemLineStepsDriveTheOutputsInTheirOrder)
{
    struct Case {
        sim::Fault fault;
        std::vector<std::string> set; // what the port was told, step by step
    };
    const std::string none = "tts TIOCMSET 0";
    const std::string both = "tts TIOCMSET " + std::to_string(TIOCM_DTR | TIOCM_RTS);
    const std::string rts = "tts TIOCMSET " + std::to_string(TIOCM_RTS);
    const std::string dtr = "tts TIOCMSET " + std::to_string(TIOCM_DTR);
    const Case cases[] = {
        {sim::Fault::SerialCorrupt, {none, both, rts, both, dtr, both}}, // the lines are good
        {sim::Fault::SerialRing, {none}},
        {sim::Fault::SerialNoLoopback, {none, both}},
    };
    for (const Case& c : cases) {
        SimCard card({c.fault});
        EXPECT_EQ(printed(serial_port_test).result, 1);
        EXPECT_EQ(card.trace_of("tts TIOCMSET"), c.set) << sim::fault_info(c.fault).name;
        EXPECT_TRUE(card.card().faults().fired(c.fault)) << sim::fault_info(c.fault).name;
        EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
    }
}

} // namespace
} // namespace kmb::test
