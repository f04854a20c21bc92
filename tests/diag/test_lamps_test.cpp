// Every test turns both lamps off before its work, so that a lamp lit by the test before it
// never stands beside this test's run on the fixture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "board/agent_bus.h"
#include "board/counter_agent.h"
#include "board/memory.h"
#include "board/serial_port.h"
#include "board/temperature.h"
#include "devices/io_port.h"
#include "diag/indications.h"
#include "ethernet/loopback.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(TestLamps, EveryTestClearsBothBeforeItsVerdict)
{
    const std::pair<const char*, std::function<int()>> tests[] = {
        {"serial port", serial_port_test},
        {"counter agent bus", counter_agent_i2c_test},
        {"agent bus", agent_i2c_bus_test},
        {"agent IRQ", agent_irq_test},
        {"agent IIRQ", agent_iirq_test},
        {"temperature sensor", temperature_sensor_test},
        {"memory", memory_test},
        {"Ethernet loopback", [] { return eth_loopback_run(0, 1, 0); }},
    };
    const std::string latch_write = "i2c 0x18 w 01 ";
    for (const auto& [name, test] : tests) {
        SCOPED_TRACE(name);
        SimCard card;
        indicate_fail();
        card.clear_trace();
        CapturedOutput capture;
        test();
        capture.stop();
        const std::vector<std::string> writes = card.trace_of(latch_write);
        ASSERT_GE(writes.size(), 2u) << "the clear and the verdict";
        const unsigned first = std::strtoul(writes.front().substr(latch_write.size()).c_str(), nullptr, 16);
        EXPECT_EQ(first & (IOX_FAIL | IOX_PASS), 0u) << writes.front();
    }
}

} // namespace
} // namespace kmb::test
