// The agent daemon's tries between real processes: one whose agent never answers runs out of
// tries and records it. A client's LM77 limit test looks at the zone five times, a second
// apart, before it gives up. (Faults the tries ride out are the fault-coverage test's.)
#include <gtest/gtest.h>

#include <cstring>

#include "agent/agent_api.h"
#include "agent/agent_protocol.h"
#include "agent/lm77_service.h"
#include "devices/error_codes.h"
#include "ipc/sel.h"
#include "integration/daemon_pair.h"
#include "sim/daemons/seld_service.h"

namespace kmb::test {
namespace {

constexpr int kReplyKey = 10;

using DaemonRetries = DaemonPair;

TEST_F(DaemonRetries, AnAgentThatRefusesEveryReadIsRecorded)
{
    start({"--fault", "agent-read-refused"});
    uint8_t payload[AGENT_API_PAYLOAD] = {};
    uint8_t status = 0;
    EXPECT_EQ(agent_api_read(AGENT_RD_IMAGE, 0, payload, kReplyKey, &status), ERR_READ);
    EXPECT_EQ(status, 0xFF);
    EXPECT_EQ(log_at(3), std::vector<std::string>{"agent_api_read: err 04\n"});
    stop_daemons();
    // Ten tries each: the start-up's rd_info, then the client's rd_image.
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(agentd_errors("Error reading try# " + std::to_string(i), true), 2) << i;
    }
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
