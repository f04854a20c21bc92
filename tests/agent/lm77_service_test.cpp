// The LM77's event handler against the simulated sensor: the zone it finds, the limits it
// rewrites around the critical zone and the zone records it sends; and the request handler's
// answers on the requester's queue.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/msg.h>

#include "agent/lm77_service.h"
#include "devices/error_codes.h"
#include "ipc/msg_queue.h"
#include "support/agent_card.h"

namespace kmb::test {
namespace {

class Lm77Service : public AgentCard {
protected:
    void SetUp() override
    {
        AgentCard::SetUp();
        lm77_state = Lm77State{};
        ASSERT_EQ(lm77_init(), ERR_NONE);
        take_sel_requests();
        clear_log();
    }
    void TearDown() override
    {
        const int id = msgget(kReplyKey, 0);
        if (id >= 0) {
            msgctl(id, IPC_RMID, nullptr);
        }
        AgentCard::TearDown();
    }
    static constexpr int kReplyKey = 12;
};

int32_t word(const SelRecord& r, int i)
{
    int32_t w = 0;
    std::memcpy(&w, r.event_data + 4 * i, 4);
    return w;
}

TEST_F(Lm77Service, ZoneTransitionsRetuneTheLimitsAndAreReported)
{
    struct Step {
        int celsius;
        int zone;
        uint16_t crit_word; // T_CRIT and T_HIGH in the sensor after the handler
        uint16_t high_word;
        int severity;       // of the zone record; -1: none sent
    };
    const Step steps[] = {
        {25, 0, 0x0410, 0x0370, -1}, // normal and staying so: nothing written, nothing sent
        {70, 3, 0x07D0, 0x0410, 2},  // critical: T_CRIT out of the way, T_HIGH at the critical limit
        {72, 3, 0x07D0, 0x0410, -1}, // still critical: written again, not reported
        {60, 2, 0x0410, 0x0370, 2},  // out of critical: the start-up limits back
        {30, 0, 0x0410, 0x0370, 0},
        {5, 1, 0x0410, 0x0370, 2},
    };
    for (const Step& s : steps) {
        card().lm77().set_temperature_half_degrees(s.celsius * 2);
        EXPECT_EQ(lm77_event_handler(), ERR_NONE) << s.celsius;
        EXPECT_EQ(lm77_state.zone, s.zone) << s.celsius;
        EXPECT_EQ(card().lm77().register_word(3), s.crit_word) << s.celsius;
        EXPECT_EQ(card().lm77().register_word(5), s.high_word) << s.celsius;
        const std::vector<SelSeen> sel = take_sel_requests();
        ASSERT_EQ(sel.size(), s.severity < 0 ? 0u : 1u) << s.celsius;
        if (s.severity >= 0) {
            const SelRecord& r = sel[0].records.at(0);
            EXPECT_EQ(r.severity, s.severity) << s.celsius;
            EXPECT_EQ(r.event_type, 5);
            EXPECT_EQ((std::vector<int32_t>{word(r, 0), word(r, 1), word(r, 2), word(r, 3), word(r, 4)}),
                      (std::vector<int32_t>{s.celsius, 10, 55, 65, s.zone}))
                << s.celsius;
        }
    }
    EXPECT_EQ(lm77_report_zone(), ERR_NONE);
    EXPECT_EQ(take_sel_requests().size(), 1u) << "a zone reported on request";
    EXPECT_EQ(log_at(7), std::vector<std::string>(6, "lm77_event_handler\n\n"));
    EXPECT_EQ(card().agent_driver().requests(2), 6) << "the status is read after each look at the zone";
    EXPECT_EQ(open_descriptors(), 0);
}

TEST_F(Lm77Service, RequestsAreAnsweredWithTheCache)
{
    struct Case {
        int op;
        int reg;
        int value;
        int result;
        Lm77State after;
    };
    const Case cases[] = {
        {LM77_OP_QUERY, 0, 0, ERR_NONE, {25, 10, 55, 65, 0}},
        {LM77_OP_WRITE, LM77_REG_THIGH, 200, ERR_NONE, {25, 10, 200, 65, 0}}, // the cache keeps it unclamped
        {LM77_OP_READ, LM77_REG_THIGH, 0, ERR_NONE, {25, 10, 125, 65, 0}},   // the sensor clamped it
        {LM77_OP_READ_TEMP, 0, 0, ERR_NONE, {40, 10, 125, 65, 0}},           // the zone is not looked at
        {7, 0, 0, ERR_INVALID_COMMAND, {40, 10, 125, 65, 0}},
    };
    card().lm77().set_temperature_half_degrees(81);
    for (const Case& c : cases) {
        AgentApiRequest req{};
        req.head = MsgHeader{1, MSG_CLASS_LM77, 4242, kReplyKey, AGENT_API_REQUEST_LENGTH};
        req.bytes[0] = static_cast<uint8_t>(c.op);
        req.bytes[1] = static_cast<uint8_t>(c.reg);
        req.bytes[2] = static_cast<uint8_t>(c.value);
        EXPECT_EQ(lm77_request_handler(&req), c.result) << c.op;
        AgentApiResponse resp{};
        ASSERT_EQ(msgrcv(ipc_queue_id(kReplyKey, 0), &resp, AGENT_API_RESPONSE_LENGTH, 0, IPC_NOWAIT),
                  AGENT_API_RESPONSE_LENGTH);
        EXPECT_EQ(resp.head.msg_class, MSG_CLASS_LM77);
        EXPECT_EQ(resp.head.word2, 4242);
        EXPECT_EQ(resp.result, c.result);
        Lm77State carried{};
        std::memcpy(&carried, resp.payload, sizeof carried);
        EXPECT_EQ(std::memcmp(&carried, &c.after, sizeof carried), 0)
            << c.op << ": " << carried.temp << " " << carried.t_low << " " << carried.t_high << " " << carried.t_crit
            << " " << carried.zone;
    }
    EXPECT_EQ(open_descriptors(), 0);
}

} // namespace
} // namespace kmb::test
