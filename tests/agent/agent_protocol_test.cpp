// The host agent's command protocol against the simulated agent at 0x57: the frames on the
// wire, parameter checks, response lengths, the complement check, the FIFO with its retries,
// start-up, and the records that reach the SEL daemon's queue.
#include <gtest/gtest.h>

#include <algorithm>

#include "agent/tamber_agent.h"

namespace kmb::test {
namespace {

using sim::Fault;
using AgentProtocol = TamberAgent;

TEST_F(AgentProtocol, ParameterChecks)
{
    struct Case {
        int agent_id;
        int cmd;
        int param;
        int expected;
    };
    const Case cases[] = {
        {AGENT_ID_TAMBER, AGENT_PS_ON, 1, 0},       {AGENT_ID_TAMBER, AGENT_PS_ON, 2, -1},
        {AGENT_ID_TAMBER, AGENT_PS_OFF, -1, -1},    {AGENT_ID_TAMBER, AGENT_RESET, 15, -1},
        {AGENT_ID_TAMBER, AGENT_RESET, 16, 0},      {AGENT_ID_TAMBER, AGENT_RESET, 18, 0},
        {AGENT_ID_TAMBER, AGENT_RESET, 19, -1},     {AGENT_ID_TAMBER, AGENT_RD_INFO_REG, 1, 0},
        {AGENT_ID_TAMBER, AGENT_RD_INFO_REG, 2, -1}, {0x42, AGENT_RD_INFO_REG, 1, -1},
        {AGENT_ID_VALDOR, AGENT_RD_INFO_REG, 200, 0}, {AGENT_ID_TAMBER, AGENT_EN_SENSOR, 0x04, 0},
        {AGENT_ID_TAMBER, AGENT_RD_SENSOR, 0xFFF, 0}, {AGENT_ID_TAMBER, AGENT_DIS_SENSOR, 0x20, -1},
        {AGENT_ID_VALDOR, AGENT_DIS_SENSOR, 0x7FF, 0}, {AGENT_ID_TAMBER, AGENT_NMI, 12345, 0},
    };
    tamber_module();
    for (const Case& c : cases) {
        agent_module().info.agent_id = static_cast<uint8_t>(c.agent_id);
        EXPECT_EQ(agent_check_param(c.cmd, c.param), c.expected) << std::hex << c.cmd << " " << c.param;
    }
    agent_module().info.agent_id = AGENT_ID_TAMBER;
    agent_module().event_list = nullptr;
    EXPECT_EQ(agent_check_param(AGENT_RD_SENSOR, 0x04), -1) << "no sensor is valid without a table";
}

TEST_F(AgentProtocol, FramesOnTheWire)
{
    tamber_module();
    struct Case {
        int cmd;
        int param;
        std::vector<std::string> wire;
    };
    const Case cases[] = {
        {AGENT_POWER_ON, 0, {"i2c 0x57 w 00 ff"}},
        {AGENT_RESET, 17, {"i2c 0x57 w 10 ef 11 ee"}},
        {AGENT_EN_SENSOR, 0x0016, {"i2c 0x57 w 19 e6 00 ff 16 e9"}},
        {AGENT_RD_SENSOR, 0x0FFF, {"i2c 0x57 w 1b e4 0f f0 ff 00", "i2c 0x57 r 00 ff"}},
        {AGENT_DUMP_STATE, 0, {"i2c 0x57 w 1c e3"}}, // nothing read back
        {AGENT_RD_INFO_REG, 1, {"i2c 0x57 w 31 ce 01 fe", "i2c 0x57 r 02 fd"}},
        {AGENT_RD_INFO, 0, {"i2c 0x57 w 16 e9", "i2c 0x57 r 01 fe 99 66 23 dc 10 ef 40 bf 82 7d"}},
        {AGENT_RD_PWR_STAT, 0, {"i2c 0x57 w 05 fa", "i2c 0x57 r 01 fe 01 fe"}},
    };
    for (const Case& c : cases) {
        clear_traffic();
        uint8_t buf[AGENT_BUF_SIZE] = {};
        int received = -1;
        EXPECT_EQ(exec(c.cmd, c.param, buf, sizeof buf, &received), ERR_NONE) << c.cmd;
        EXPECT_EQ(traffic(), c.wire) << c.cmd;
        EXPECT_EQ(received, agent_resp_len(c.cmd) * (c.wire.size() - 1)) << c.cmd;
    }
    EXPECT_EQ(card().host_agent().executed(AGENT_RESET), 1);
    EXPECT_EQ(open_descriptors(), 0);
}

TEST_F(AgentProtocol, RefusedCommandsNeverReachTheWire)
{
    struct Case {
        bool table;
        int cmd;
        int param;
        int expected;
        std::string line;
    };
    const Case cases[] = {
        {false, AGENT_POWER_ON, 0, ERR_INVALID_COMMAND, "ERROR: command list empty!\n"},
        {true, 0x42, 0, ERR_INVALID_COMMAND, "ERROR: command 42 not found in cmdlist!\n"},
        {true, AGENT_PS_ON, 2, ERR_INVALID_PARAMETER, "ERROR: cmd 2 Invalid par 2\n"},
        {true, AGENT_RESET, 0x1f, ERR_INVALID_PARAMETER, "ERROR: cmd 10 Invalid par 1f\n"},
    };
    for (const Case& c : cases) {
        reset_agent_module();
        if (c.table) {
            tamber_module();
        }
        clear_log();
        clear_traffic();
        EXPECT_EQ(exec(c.cmd, c.param, nullptr, 0, nullptr), c.expected);
        EXPECT_EQ(log_at(3), std::vector<std::string>{c.line});
        EXPECT_EQ(traffic(), std::vector<std::string>{});
    }
}

TEST_F(AgentProtocol, ComplementCheck)
{
    struct Case {
        std::vector<uint8_t> bytes;
        int expected;
        std::string dump;
        std::vector<std::string> errors;
    };
    const Case cases[] = {
        {{0x5A, 0xA5}, ERR_NONE, "Read 2 bytes: 5a [a5] \n", {}},
        {{0x5A, 0xA4}, ERR_RESPONSE, "Read 2 bytes: 5a [a4] \n",
         {"Error: invalid data from agent: byte 0: 0x5a, byte 1: 0xa4\n"}},
        {{0x00, 0xFF, 0x12, 0xED, 0x80, 0x80}, ERR_RESPONSE, "Read 6 bytes: 00 [ff] 12 [ed] 80 [80] \n",
         {"Error: invalid data from agent: byte 4: 0x80, byte 5: 0x80\n"}},
        {{0xFF, 0xFF, 0x5A, 0x00}, ERR_END_OF_DATA, "Read 4 bytes: ff [ff] \n", {}},
        {{}, ERR_NONE, "Read 0 bytes: \n", {}},
    };
    for (const Case& c : cases) {
        clear_log();
        EXPECT_EQ(agent_check_data(c.bytes.data(), static_cast<int>(c.bytes.size())), c.expected) << c.dump;
        EXPECT_EQ(log_at(7), std::vector<std::string>{c.dump});
        EXPECT_EQ(log_at(3), c.errors);
    }
    // A long response's dump is cut at 200 characters.
    std::vector<uint8_t> many(120);
    for (std::size_t i = 0; i < many.size(); i += 2) {
        many[i] = 0x11;
        many[i + 1] = 0xEE;
    }
    clear_log();
    EXPECT_EQ(agent_check_data(many.data(), 120), ERR_NONE);
    EXPECT_EQ(log_at(7).at(0).size(), 199u + 1u);
}

TEST_F(AgentProtocol, ResponseLongerThanTheBufferIsCut)
{
    tamber_module();
    agent_module().info.ps_count = 60;
    EXPECT_EQ(agent_resp_len(AGENT_RD_PWR_STAT), 120);
    EXPECT_EQ(agent_resp_len(AGENT_RD_INFO), 12);
    EXPECT_EQ(agent_resp_len(AGENT_RD_SENSOR), 2);
    uint8_t buf[AGENT_BUF_SIZE];
    int received = 0;
    // The agent has two supplies to tell of; the pull-ups answer for the other 58.
    EXPECT_EQ(exec(AGENT_RD_PWR_STAT, 0, buf, sizeof buf, &received), ERR_END_OF_DATA);
    EXPECT_EQ(received, 80);
    EXPECT_EQ(log_at(3).at(0), "Error: rbuf too small, missing 40 bytes\n");
    EXPECT_EQ(traffic().at(1).size(), std::string("i2c 0x57 r").size() + 80 * 3);
}

TEST_F(AgentProtocol, StartUpPicksTheTablesByTheAgentsRecord)
{
    struct Case {
        bool valdor;
        uint8_t id;
        AgentEvent* table;
    };
    for (const Case& c : {Case{false, AGENT_ID_TAMBER, agent_tamber_events()},
                          Case{true, AGENT_ID_VALDOR, agent_valdor_events()}}) {
        reset_agent_module();
        boot({}, c.valdor);
        EXPECT_EQ(agent_init(), ERR_NONE);
        const AgentModule& m = agent_module();
        EXPECT_EQ(m.info.agent_id, c.id);
        EXPECT_EQ(m.info.format, 1);
        EXPECT_EQ(m.info.ps_count, 2) << "the count is the sixth byte's low 7 bits";
        EXPECT_EQ(m.event_list, c.table);
        EXPECT_EQ(m.cmd_list, agent_builtin_cmds());
        EXPECT_TRUE(card().host_agent().sensors_enabled());
        EXPECT_EQ(card().host_agent().executed(AGENT_DUMP_STATE), 1);
        EXPECT_EQ(log_at(3), std::vector<std::string>{});
        EXPECT_EQ(take_sel_requests().size(), 0u);
        EXPECT_EQ(open_descriptors(), 0);
    }
}

TEST_F(AgentProtocol, StartUpFailuresAreReportedToTheLog)
{
    struct Case {
        Fault fault;
        int expected;
        std::string line;
        uint8_t flag;
        uint8_t cmd;
    };
    const Case cases[] = {
        {Fault::AgentAbsent, ERR_I2C, "agent_init : I2C_ERR\n", 0, 0},
        {Fault::AgentWriteFails, ERR_WRITE, "agent_init: Error reading agent info\n", 1, AGENT_RD_INFO},
        {Fault::AgentBadComplement, ERR_RESPONSE, "agent_init: Error reading agent info\n", 1, AGENT_RD_INFO},
    };
    for (const Case& c : cases) {
        reset_agent_module();
        boot({c.fault});
        EXPECT_EQ(agent_init(), c.expected);
        EXPECT_TRUE(card().faults().fired(c.fault));
        const std::vector<std::string> errors = log_at(3);
        EXPECT_NE(std::find(errors.begin(), errors.end(), c.line), errors.end()) << c.line;
        const std::vector<SelSeen> sel = take_sel_requests();
        ASSERT_EQ(sel.size(), 1u);
        ASSERT_EQ(sel[0].record_count, 1);
        const SelRecord& r = sel[0].records[0];
        EXPECT_EQ(r.event_type, 2);
        EXPECT_EQ(r.severity, 2);
        EXPECT_EQ((std::vector<int>{r.event_data[0], r.event_data[1], r.event_data[2]}),
                  (std::vector<int>{c.expected, c.flag, c.cmd}));
        EXPECT_EQ(agent_module().event_list, nullptr);
        EXPECT_EQ(open_descriptors(), 0);
    }
}

TEST_F(AgentProtocol, EventsReachTheLogWithTheirSeverityAndTime)
{
    ASSERT_EQ(agent_init(), ERR_NONE);
    // The last entry read was good and the agent dropped its interrupt with it.
    EXPECT_EQ(agent_event_handler(), ERR_NONE) << "the start-up dump, all signals where they belong";
    std::vector<SelSeen> sel = take_sel_requests();
    ASSERT_EQ(sel.size(), 1u);
    EXPECT_EQ(sel[0].record_count, 0) << "dumped signals at their normal state leave no record";

    sim::HostAgent& agent = card().host_agent();
    const time_t t0 = os::time(nullptr);
    agent.set_signal(0x04, false);  // PS1_AC_OK drops
    agent.set_signal(0x16, true);   // FAN_ALERT1
    agent.push_event(0x4000 | 0x2000 | 0x8000 | 0x123); // informational, same time
    EXPECT_EQ(agent_event_handler(), ERR_NONE);
    card().clock().advance(5'000'000);
    agent.push_event(0x4000 | 0x8004);   // PS1_AC_OK back, with the time of the entry before
    agent.push_event(0x1000 | 0x0005);   // dumped PS1_12V_OK low: abnormal, kept
    agent.push_event(0x1000 | 0x8006);   // dumped PS1_5V_OK high: normal, dropped
    EXPECT_EQ(agent_event_handler(), ERR_NONE);
    sel = take_sel_requests();
    ASSERT_EQ(sel.size(), 2u);
    struct Expected {
        int32_t timestamp;
        int32_t severity;
        uint16_t rec;
    };
    const std::vector<std::vector<Expected>> batches = {
        {{static_cast<int32_t>(t0), 2, 0x0004}, {static_cast<int32_t>(t0), 2, 0x8016},
         {static_cast<int32_t>(t0), 1, 0xE123}},
        {{static_cast<int32_t>(t0), 0, 0xC004}, {static_cast<int32_t>(t0 + 5), 2, 0x1005}},
    };
    for (std::size_t b = 0; b < batches.size(); ++b) {
        ASSERT_EQ(sel[b].records.size(), batches[b].size()) << b;
        for (std::size_t i = 0; i < batches[b].size(); ++i) {
            const SelRecord& r = sel[b].records[i];
            EXPECT_EQ(r.timestamp, batches[b][i].timestamp) << b << "/" << i;
            EXPECT_EQ(r.severity, batches[b][i].severity) << b << "/" << i;
            EXPECT_EQ(r.event_type, 1);
            EXPECT_EQ(r.event_data[0], AGENT_ID_TAMBER);
            EXPECT_EQ(rec_of(r), batches[b][i].rec) << b << "/" << i;
        }
    }
    EXPECT_EQ(agent_tamber_events()[3].current, 1) << "PS1_AC_OK asserted again";
    EXPECT_EQ(agent_tamber_events()[21].current, 1) << "FAN_ALERT1";
    EXPECT_EQ(open_descriptors(), 0);
}

TEST_F(AgentProtocol, FifoFailures)
{
    // Without the agent's interrupt there is nothing to read.
    tamber_module();
    uint8_t buf[AGENT_BUF_SIZE];
    int received = 0;
    EXPECT_EQ(exec(AGENT_RD_FIFO, 0, buf, sizeof buf, &received), ERR_INTERRUPT);
    EXPECT_EQ(log_at(3).at(0), "Error read fifo called with no intr\n");
    EXPECT_EQ(traffic(), std::vector<std::string>{});

    // The interrupt stays asserted after the last entry: ten end-of-data pairs a second apart.
    reset_agent_module();
    boot({Fault::AgentFifoStuck});
    tamber_module();
    card().host_agent().set_signal(0x07, true);
    take_sel_requests();
    clear_log();
    const int64_t start = card().clock().now_us();
    EXPECT_EQ(agent_event_handler(), ERR_INTERRUPT);
    EXPECT_GE(card().clock().now_us() - start, 10'000'000);
    const std::vector<std::string> errors = log_at(3);
    ASSERT_EQ(errors.size(), 10u + 3u);
    EXPECT_EQ(errors[0], "Error 8 read fifo, try 1\n");
    EXPECT_EQ(errors[9], "Error 8 read fifo, try 10\n");
    EXPECT_EQ(errors[10], "Error intr asserted while fifo empty\n");
    EXPECT_EQ(errors[11], "ERROR: cmd 30 err 07\n");
    EXPECT_EQ(errors[12], "agent_event_handler: error read FIFO\n");
    const std::vector<SelSeen> sel = take_sel_requests();
    ASSERT_EQ(sel.size(), 2u) << "the error report, then the entries that were read";
    EXPECT_EQ(sel[0].records.at(0).event_type, 2);
    ASSERT_EQ(sel[1].records.size(), 1u);
    EXPECT_EQ(rec_of(sel[1].records[0]), 0x8007);
}

TEST_F(AgentProtocol, AFifoReadTakesWhatTheBufferHoldsAndLeavesTheRest)
{
    tamber_module();
    sim::HostAgent& agent = card().host_agent();
    for (int i = 0; i < 25; ++i) {
        agent.push_event(static_cast<uint16_t>((i % 2 == 0 ? 0x8000 : 0) | 0x16)); // FAN_ALERT1 on, off, ...
    }
    // 80 bytes hold 20 entries; the agent keeps its interrupt for the other five.
    for (std::size_t expected : {20u, 5u}) {
        clear_traffic();
        EXPECT_EQ(agent_event_handler(), ERR_NONE);
        const std::vector<std::string> wire = traffic();
        EXPECT_EQ(wire.size(), 1 + expected) << "the frame, then one read of 4 bytes per entry";
        EXPECT_EQ(wire.at(1), "i2c 0x57 r 80 7f 16 e9");
        const std::vector<SelSeen> sel = take_sel_requests();
        ASSERT_EQ(sel.size(), 1u);
        EXPECT_EQ(sel[0].records.size(), expected);
    }
    EXPECT_EQ(agent.fifo_entries(), 0u);
}

} // namespace
} // namespace kmb::test
