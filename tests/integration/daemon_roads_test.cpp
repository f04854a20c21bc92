// The roads between the card's daemons, end to end between real processes on the kernel's own
// queues: a client has agent commands run by the agent daemon, and the daemon's event handler
// reports to the SEL daemon, whose summary the client reads under its lock. And the daemon's
// tries: one whose agent never answers runs out of them and records it; a client's LM77 limit
// test looks at the zone five times, a second apart, before it gives up.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <sys/msg.h>

#include "agent/agent_api.h"
#include "agent/agent_protocol.h"
#include "agent/lm77_service.h"
#include "devices/error_codes.h"
#include "ipc/msg_queue.h"
#include "ipc/sel.h"
#include "os/os.h"
#include "sim/daemons/agentd_service.h"
#include "sim/daemons/seld_service.h"
#include "integration/daemon_pair.h"

namespace kmb::test {
namespace {

constexpr int kReplyKey = 10;

using DaemonRoads = DaemonPair;
using DaemonRetries = DaemonPair;

// A supply switched off and read back through the daemon is AgentClient's.
TEST_F(DaemonRoads, ClientsHaveAgentCommandsRun)
{
    start();
    struct Case {
        int cmd;
        int param;
        int result;
        int status;
        std::vector<uint8_t> payload; // its first bytes
    };
    const Case cases[] = {
        {AGENT_RD_INFO, 0, ERR_NONE, 0, {0x01, 0x99, 0x23, 0x10, 0x40, 0x02}},
        {AGENT_POWER_CYCLE, 0, ERR_NONE, 0, {}},
        {AGENT_RD_SENSOR, 0x04, ERR_NONE, 0, {1, 0}},
        {AGENT_PS_ON, 2, ERR_INVALID_PARAMETER, 0xFF, {}},
        {0x42, 0, ERR_INVALID_COMMAND, 0xFF, {}},
    };
    for (const Case& c : cases) {
        uint8_t payload[AGENT_API_PAYLOAD];
        std::memset(payload, 0xEE, sizeof payload);
        uint8_t status = 0x77;
        EXPECT_EQ(agent_api_read(c.cmd, c.param, payload, kReplyKey, &status), c.result) << std::hex << c.cmd;
        EXPECT_EQ(status, c.status) << std::hex << c.cmd;
        EXPECT_EQ(std::vector<uint8_t>(payload, payload + c.payload.size()), c.payload) << std::hex << c.cmd;
    }
    EXPECT_EQ(log_at(3), std::vector<std::string>{}) << "results 1 and 2 come back silently";

    // Writing an unknown command is logged and recorded.
    uint8_t status = 0;
    EXPECT_EQ(agent_api_write(0x42, 0x0102, kReplyKey, &status), ERR_INVALID_COMMAND);
    EXPECT_EQ(log_at(3), std::vector<std::string>{"agent_api_write: err 01\n"});
    stop_daemons();
    const std::vector<StoredSelRecord> records = stored_records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].head.event_type, SEL_TYPE_AGENT_ERROR);
    EXPECT_EQ(data_bytes(records[0], {0, 1, 2}), (std::vector<int>{1, 1, 0x42}));
    int32_t param = 0;
    std::memcpy(&param, records[0].data + 4, 4);
    EXPECT_EQ(param, 0x0102);
}

TEST_F(DaemonRoads, AnswersGoToTheirOwnRequesterOnly)
{
    start();
    const int pid = static_cast<int>(os::getpid());
    // An answer for another process waits on our reply queue: it is logged and passed over.
    AgentApiResponse stray{};
    stray.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, pid + 1, 0, AGENT_API_RESPONSE_LENGTH};
    stray.result = ERR_WRITE;
    ASSERT_EQ(ipc_send_to(kReplyKey, &stray.head), 0);
    uint8_t payload[AGENT_API_PAYLOAD] = {};
    uint8_t status = 0;
    EXPECT_EQ(agent_api_read(AGENT_RD_INFO, 0, payload, kReplyKey, &status), ERR_NONE);
    EXPECT_EQ(payload[1], 0x99);
    EXPECT_EQ(log_at(3), std::vector<std::string>{"Error: mypid " + std::to_string(pid) + ", msg pid " +
                                                  std::to_string(pid + 1) + ". Retry\n"});
    stop_daemons();
}

TEST_F(DaemonRoads, ACommandStatusOtherThanDoneIsRecorded)
{
    start({"--agent-refuse", "00"});
    uint8_t status = 0;
    EXPECT_EQ(agent_api_write(AGENT_POWER_ON, 0, kReplyKey, &status), ERR_NONE);
    EXPECT_EQ(status, 2) << "Illegal command";
    EXPECT_EQ(log_at(3), std::vector<std::string>{"agent_api_write: result 02 cmd 00\n"});
    stop_daemons();
    const std::vector<StoredSelRecord> records = stored_records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(data_bytes(records[0], {0, 1, 2, 8}), (std::vector<int>{0, AGENT_FLAG_STATUS, AGENT_POWER_ON, 2}));
}

TEST_F(DaemonRoads, AgentEventsReachTheEventLogSummary)
{
    // PS1_AC_OK has dropped before the daemon starts; its start-up dump queues behind it, more
    // than one FIFO read takes. The agent's interrupt runs the handler until the FIFO is empty.
    start({"--agent-event", "0004"});
    uint8_t payload[AGENT_API_PAYLOAD] = {};
    uint8_t entries = 0;
    ASSERT_EQ(agent_api_read(AGENT_DUMP_STATE, 0, payload, kReplyKey, &entries), ERR_NONE);
    EXPECT_EQ(entries, 30) << "the rows below the watchdog ones";
    uint16_t ps1_ac_ok = 0;
    std::memcpy(&ps1_ac_ok, payload + 2 * 3, 2);
    EXPECT_EQ(ps1_ac_ok, 0x8004) << "asserted again by the dump's entry";
    stop_daemons();

    SelInfo info{};
    ASSERT_EQ(sel_get_info(&info), 0);
    EXPECT_EQ((std::vector<int32_t>(info.fields, info.fields + 5)),
              (std::vector<int32_t>{1, 2, static_cast<int32_t>(kTestEpoch), 2, 0}));
    const std::vector<StoredSelRecord> records = stored_records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].head.record_id, 1);
    EXPECT_EQ(records[0].head.severity, 2);
    EXPECT_EQ(records[0].head.event_type, SEL_TYPE_AGENT_EVENT);
    EXPECT_EQ(records[0].data[0], 0x99);
    uint16_t rec = 0;
    std::memcpy(&rec, records[0].data + 2, 2);
    EXPECT_EQ(rec, 0x0004);
}

TEST_F(DaemonRoads, ClientsHaveTheSensorWatched)
{
    start({"--temp", "30"});
    Lm77State state{};
    EXPECT_EQ(lm77_query(LM77_OP_QUERY, 0, &state, kReplyKey), ERR_NONE);
    EXPECT_EQ((std::vector<int>{state.temp, state.t_low, state.t_high, state.t_crit, state.zone}),
              (std::vector<int>{30, 10, 55, 65, 0}));
    EXPECT_EQ(lm77_request(7, 0, 0, kReplyKey), ERR_INVALID_COMMAND);

    // Each limit moved past the temperature: the sensor's interrupt reaches the daemon, whose
    // handler finds the zone that the test waits for.
    const int64_t start_us = card().clock().now_us();
    for (int kind : {LM77_TEST_HIGH, LM77_TEST_LOW, LM77_TEST_CRIT}) {
        EXPECT_EQ(lm77_limit_test(kind, kReplyKey), ERR_NONE) << kind;
    }
    EXPECT_GE(card().clock().now_us() - start_us, 3'000'000) << "a second before each look at the zone";
    EXPECT_EQ(lm77_query(LM77_OP_QUERY, 0, &state, kReplyKey), ERR_NONE);
    EXPECT_EQ(state.zone, 0) << "every limit is back";
    stop_daemons();

    // Each test left a zone change and its way back in the log; the critical test moves the
    // high limit first, so the card passes through the high zone on its way.
    // A record holds the cached temperature, T_LOW, T_HIGH, T_CRIT and zone: the limit each
    // test moved shows where it was put (t - 5 high, t + 5 low, t - 6 high before the critical).
    std::vector<int> zones;
    std::vector<std::array<int32_t, 5>> words;
    for (const StoredSelRecord& r : stored_records()) {
        EXPECT_EQ(r.head.event_type, SEL_TYPE_LM77_ZONE);
        std::array<int32_t, 5> w{};
        std::memcpy(w.data(), r.data, sizeof w);
        words.push_back(w);
        zones.push_back(w[4]);
    }
    ASSERT_EQ(zones, (std::vector<int>{2, 0, 1, 0, 2, 3, 0}));
    EXPECT_EQ(words[0], (std::array<int32_t, 5>{30, 10, 25, 65, 2}));
    EXPECT_EQ(words[2], (std::array<int32_t, 5>{30, 35, 55, 65, 1}));
    EXPECT_EQ(words[4], (std::array<int32_t, 5>{30, 10, 24, 65, 2}));
}

TEST_F(DaemonRoads, ALimitTestNeedsTheNormalZone)
{
    start({"--temp", "58"});
    EXPECT_EQ(lm77_limit_test(LM77_TEST_HIGH, kReplyKey), ERR_CANT_TEST);
    stop_daemons();
    EXPECT_EQ(stored_records().size(), 0u) << "nothing was moved";
}

TEST_F(DaemonRetries, AnAgentThatRefusesEveryReadIsRecorded)
{
    start({"--fault", "agent-read-refused"});
    uint8_t payload[AGENT_API_PAYLOAD] = {};
    uint8_t status = 0;
    EXPECT_EQ(agent_api_read(AGENT_RD_IMAGE, 0, payload, kReplyKey, &status), ERR_READ);
    EXPECT_EQ(status, 0xFF);
    EXPECT_EQ(log_at(3), std::vector<std::string>{"agent_api_read: err 04\n"});
    stop_daemons();
    // The tries themselves are AgentRetries.EachWayTheBusFailsTakesItsTries's: both transfers
    // ran out of them, the start-up's rd_info and the client's rd_image.
    EXPECT_EQ(agentd_errors("Error reading try# 10"), 0);
    EXPECT_EQ(agentd_errors("ERROR: cmd 16 err 04", true), 1);
    EXPECT_EQ(agentd_errors("ERROR: cmd 13 err 04", true), 1);
    const std::vector<StoredSelRecord> records = stored_records();
    ASSERT_EQ(records.size(), 2u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].head.event_type, SEL_TYPE_AGENT_ERROR);
        EXPECT_EQ(data_bytes(records[i], {0, 1, 2}),
                  (std::vector<int>{ERR_READ, AGENT_FLAG_CMD, i == 0 ? AGENT_RD_INFO : AGENT_RD_IMAGE}))
            << i;
    }
}

TEST_F(DaemonRetries, ALimitTestLooksFiveTimesBeforeItGivesUp)
{
    // The sensor's INT output never reaches the card: the daemon never learns of the crossing.
    start({"--temp", "30", "--fault", "lm77-int-open"});
    const int64_t start_us = card().clock().now_us();
    EXPECT_EQ(lm77_limit_test(LM77_TEST_HIGH, kReplyKey), ERR_INTERRUPT);
    const int64_t waited = card().clock().now_us() - start_us;
    EXPECT_GE(waited, 5'000'000);
    EXPECT_LT(waited, 6'000'000);
    Lm77State state{};
    EXPECT_EQ(lm77_query(LM77_OP_QUERY, 0, &state, kReplyKey), ERR_NONE);
    EXPECT_EQ(state.t_high, 55) << "the limit is put back";
    stop_daemons();
}

} // namespace
} // namespace kmb::test
