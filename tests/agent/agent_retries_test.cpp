// The host agent's protocol when the bus or the agent's firmware fails for a while: how many
// tries each transfer takes, a second apart for writes and 0.2 s apart for reads, what each
// logs, and what reaches the wire. The faults act where the real ones do: on the bus in front
// of 0x57, or in the agent's firmware.
#include <gtest/gtest.h>

#include "agent/agent_api.h"
#include "agent/tamber_agent.h"
#include "ipc/msg_queue.h"

namespace kmb::test {
namespace {

using sim::Fault;
using AgentRetries = TamberAgent;

constexpr int kReplyKey = 10;
constexpr int kRequester = 4242;

// "Error writing try# 0\n", ... for tries first to last.
std::vector<std::string> tries(const char* what, int first, int last)
{
    std::vector<std::string> lines;
    for (int i = first; i <= last; ++i) {
        lines.push_back(std::string("Error ") + what + " try# " + std::to_string(i) + "\n");
    }
    return lines;
}

std::vector<std::string> repeat(const std::string& line, int times) { return std::vector<std::string>(times, line); }

const std::string kRdInfoFrame = "i2c 0x57 w 16 e9";
// rd_info's answer on a Tamber host, each data byte followed by its complement: format 1,
// agent ID 0x99, revision, FIFO depth, ring depth, and two supplies with the redundancy strap.
const std::string kRdInfoAnswer = "i2c 0x57 r 01 fe 99 66 23 dc 10 ef 40 bf 82 7d";
const std::string kWriteNack = "i2c 0x57 w nack";
const std::string kReadNack = "i2c 0x57 r nack";

TEST_F(AgentRetries, EachWayTheBusFailsTakesItsTries)
{
    struct Case {
        const char* what;
        Fault fault;
        int result;
        std::vector<std::string> errors;
        std::vector<std::string> wire;
        int64_t waited_us; // the waits between tries, without the bus's own time
    };
    const Case cases[] = {
        {"a bus that drops three transfers, then recovers", Fault::AgentBusRecovers, ERR_NONE,
         tries("writing", 0, 2), repeat(kWriteNack, 3) + std::vector<std::string>{kRdInfoFrame, kRdInfoAnswer},
         3'000'100},
        {"an answer ready only 0.5 s after its command", Fault::AgentReadSlow, ERR_NONE, tries("reading", 0, 2),
         std::vector<std::string>{kRdInfoFrame} + repeat(kReadNack, 3) + std::vector<std::string>{kRdInfoAnswer},
         600'100},
        {"an agent that refuses every read", Fault::AgentReadRefused, ERR_READ,
         tries("reading", 0, 9) + std::vector<std::string>{"ERROR: cmd 16 err 04\n"},
         std::vector<std::string>{kRdInfoFrame} + repeat(kReadNack, 10), 2'000'100},
        {"an agent that refuses every write", Fault::AgentWriteFails, ERR_WRITE,
         tries("writing", 0, 9) + std::vector<std::string>{"ERROR: cmd 16 err 03\n"}, repeat(kWriteNack, 10),
         10'000'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        reset_agent_module();
        boot({c.fault});
        tamber_module();
        uint8_t buf[AGENT_BUF_SIZE] = {};
        int received = -1;
        const int64_t start = now();
        EXPECT_EQ(exec(AGENT_RD_INFO, 0, buf, sizeof buf, &received), c.result);
        const int64_t waited = now() - start;
        EXPECT_TRUE(card().faults().fired(c.fault));
        EXPECT_EQ(log_at(3), c.errors);
        EXPECT_EQ(traffic(), c.wire);
        EXPECT_EQ(received, c.result == ERR_NONE ? 12 : 0);
        // The bus's own time is a few milliseconds at most; the tries' waits are whole steps.
        EXPECT_GE(waited, c.waited_us);
        EXPECT_LT(waited, c.waited_us + 50'000);
        EXPECT_EQ(open_descriptors(), 0);
    }
}

// power_cycle through the daemon's service, answered on the requester's queue: the daemon waits
// 5 s (6 s on a Valdor host) before it asks for the command status. A slow agent is still
// sequencing then; the status read's write is tried again a second later until it goes through.
TEST_F(AgentRetries, APowerCycleSlowerThanTheWaitStillGetsItsStatus)
{
    struct Case {
        bool valdor;
        bool slow;
        int refused; // tries of the status read's write that go unacknowledged
        int64_t waited_us;
    };
    const Case cases[] = {
        {false, false, 0, 5'000'000}, {true, false, 0, 6'000'000},
        {false, true, 2, 7'000'000},  {true, true, 1, 7'000'000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.valdor ? "Valdor" : "Tamber") + (c.slow ? ", slow" : ""));
        reset_agent_module();
        boot(c.slow ? std::vector<Fault>{Fault::AgentSlowPowerCycle} : std::vector<Fault>{}, c.valdor);
        ASSERT_EQ(agent_init(), ERR_NONE);
        clear_log();
        clear_traffic();
        AgentApiRequest req{};
        req.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, kRequester, kReplyKey, AGENT_API_REQUEST_LENGTH};
        req.bytes[0] = AGENT_POWER_CYCLE;
        req.checksum = 0xFC;
        const int64_t start = now();
        EXPECT_EQ(agent_api_handle_request(&req), ERR_NONE);
        const int64_t waited = now() - start;
        uint8_t status = 0x77;
        EXPECT_EQ(agent_api_wait_response(kReplyKey, kRequester, &status, nullptr), ERR_NONE);
        EXPECT_EQ(status, 0) << "Command completed successfully";
        EXPECT_EQ(log_at(3), tries("writing", 0, c.refused - 1));
        EXPECT_EQ(traffic(), (std::vector<std::string>{"i2c 0x57 w 04 fb"} + repeat(kWriteNack, c.refused) +
                              std::vector<std::string>{"i2c 0x57 w 2e d1", "i2c 0x57 r 00 ff"}));
        EXPECT_GE(waited, c.waited_us);
        EXPECT_LT(waited, c.waited_us + 50'000);
        EXPECT_EQ(card().faults().fired(Fault::AgentSlowPowerCycle), c.slow);
        EXPECT_EQ(card().host_agent().executed(AGENT_POWER_CYCLE), 1);
        EXPECT_EQ(take_sel_requests().size(), 0u);
        EXPECT_EQ(ipc_queue_remove(ipc_queue_id(kReplyKey, 0)), 0);
        EXPECT_EQ(open_descriptors(), 0);
    }
}

} // namespace
} // namespace kmb::test
