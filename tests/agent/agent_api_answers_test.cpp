// The agent daemon's answers on the requester's queue, byte for byte: the head, the result and
// status bytes and the payload of each kind of request, and what reached the agent for it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/msg.h>
#include <vector>

#include "agent/agent_api.h"
#include "agent/agent_protocol.h"
#include "devices/error_codes.h"
#include "ipc/msg_queue.h"
#include "agent/tamber_agent.h"

namespace kmb::test {
namespace {

constexpr int kReplyKey = 10;
constexpr int kRequester = 4242;

uint16_t entry_at(const uint8_t* payload, int index)
{
    uint16_t e = 0;
    std::memcpy(&e, payload + 2 * index, sizeof e);
    return e;
}

// The next answer on the requester's queue: its type and text, or an empty text when none of
// an answer's length waits there.
struct Answer {
    long mtype;
    uint8_t text[AGENT_API_RESPONSE_LENGTH + 64];
};

bool take_answer(Answer& m)
{
    m = Answer{};
    return msgrcv(ipc_queue_id(kReplyKey, 0), &m, sizeof m.text, 0, IPC_NOWAIT) == AGENT_API_RESPONSE_LENGTH;
}

class AgentApiAnswers : public AgentCard {
protected:
    void TearDown() override
    {
        remove_all_queues();
        ipc_queue_cache_reset();
        AgentCard::TearDown();
    }
    // Hands the daemon's service one request with these four bytes after the head.
    int handle(const uint8_t (&bytes)[4])
    {
        AgentApiRequest req{};
        req.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, kRequester, kReplyKey, AGENT_API_REQUEST_LENGTH};
        std::memcpy(req.bytes, bytes, 3);
        req.checksum = bytes[3];
        return agent_api_handle_request(&req);
    }
};

TEST_F(AgentApiAnswers, EachRequestIsAnsweredByteForByte)
{
    ASSERT_EQ(agent_init(), ERR_NONE);
    ASSERT_EQ(agent_event_handler(), ERR_NONE); // the start-up dump sets the rows' states
    take_sel_requests();
    struct Case {
        const char* what;
        uint8_t request[4];
        int result;
        int status;
        std::vector<uint8_t> payload; // its first bytes; the rest are 0
        std::vector<std::string> wire;
    };
    const std::string stat_frame = "i2c 0x57 w 2e d1";
    const std::string stat_done = "i2c 0x57 r 00 ff";
    const std::vector<uint8_t> info = {0x01, 0x99, 0x23, 0x10, 0x40, 0x02};
    const Case cases[] = {
        {"reset 17", {0x10, 0x00, 0x11, 0xDF}, ERR_NONE, 0, {}, {"i2c 0x57 w 10 ef 11 ee", stat_frame, stat_done}},
        {"reset 17, its checksum one off", {0x10, 0x00, 0x11, 0xE0}, ERR_CHECKSUM, 0xFF, {}, {}},
        {"power_on", {0x00, 0x00, 0x00, 0x00}, ERR_NONE, 0, {}, {"i2c 0x57 w 00 ff", stat_frame, stat_done}},
        {"rd_info", {0x16, 0x00, 0x00, 0xEA}, ERR_NONE, 0, info,
         {"i2c 0x57 w 16 e9", "i2c 0x57 r 01 fe 99 66 23 dc 10 ef 40 bf 82 7d", stat_frame, stat_done}},
        {"rd_info from the cache", {0x16, 0x00, 0x01, 0xE9}, ERR_NONE, 0, info, {}},
        {"rd_pwr_stat", {0x05, 0x00, 0x00, 0xFB}, ERR_NONE, 0, {0x01, 0x01, 0x00},
         {"i2c 0x57 w 05 fa", "i2c 0x57 r 01 fe 01 fe", stat_frame, stat_done}},
        {"rd_sensor PS1_AC_OK", {0x1B, 0x00, 0x04, 0xE1}, ERR_NONE, 0, {0x01, 0x00},
         {"i2c 0x57 w 1b e4 00 ff 04 fb", "i2c 0x57 r 01 fe", stat_frame, stat_done}},
        // The parameter's high byte counts 256: 0x0FFF is L1_WD_TIMEOUT, 0x0FF0 no sensor at all.
        {"rd_sensor L1_WD_TIMEOUT", {0x1B, 0x0F, 0xFF, 0xD7}, ERR_NONE, 0, {},
         {"i2c 0x57 w 1b e4 0f f0 ff 00", "i2c 0x57 r 00 ff", stat_frame, stat_done}},
        {"an unknown command", {0x42, 0x00, 0x00, 0xBE}, ERR_INVALID_COMMAND, 0xFF, {}, {}},
        {"ps_on of a third supply", {0x02, 0x00, 0x02, 0xFC}, ERR_INVALID_PARAMETER, 0xFF, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear_traffic();
        EXPECT_EQ(handle(c.request), c.result);
        EXPECT_EQ(traffic(), c.wire);
        Answer m;
        ASSERT_TRUE(take_answer(m));
        EXPECT_EQ(m.mtype, 1);
        const std::vector<int32_t> head = {word_at(m.text, 0), word_at(m.text, 4), word_at(m.text, 8),
                                           word_at(m.text, 12)};
        EXPECT_EQ(head, (std::vector<int32_t>{MSG_CLASS_AGENT_CMD, kRequester, 0, AGENT_API_RESPONSE_LENGTH}));
        EXPECT_EQ((std::vector<int>{m.text[16], m.text[17], m.text[18], m.text[19]}),
                  (std::vector<int>{c.result, c.status, 0, 0}));
        std::vector<uint8_t> payload(c.payload);
        payload.resize(AGENT_API_PAYLOAD, 0);
        EXPECT_EQ(std::vector<uint8_t>(m.text + 20, m.text + 20 + AGENT_API_PAYLOAD), payload);
    }
    const std::vector<SelSeen> sel = take_sel_requests();
    ASSERT_EQ(sel.size(), 1u) << "only the checksum error is recorded";
    EXPECT_EQ((std::vector<int>{sel[0].records.at(0).event_data[0], sel[0].records.at(0).event_data[1]}),
              (std::vector<int>{ERR_CHECKSUM, AGENT_FLAG_NONE}));
}

TEST_F(AgentApiAnswers, ADumpCarriesTheRowsBelowTheWatchdogOnes)
{
    ASSERT_EQ(agent_init(), ERR_NONE);
    ASSERT_EQ(agent_event_handler(), ERR_NONE);
    card().host_agent().set_signal(0x16, true); // FAN_ALERT1
    card().host_agent().set_signal(0x04, false); // PS1_AC_OK drops
    ASSERT_EQ(agent_event_handler(), ERR_NONE);
    clear_traffic();
    EXPECT_EQ(handle({0x1C, 0x00, 0x00, 0xE4}), ERR_NONE);
    EXPECT_EQ(traffic(), std::vector<std::string>{}) << "answered from the daemon's table";
    Answer m;
    ASSERT_TRUE(take_answer(m));
    EXPECT_EQ(m.text[16], ERR_NONE);
    EXPECT_EQ(m.text[17], 30) << "entries";
    const uint8_t* payload = m.text + 20;
    struct Entry {
        int index;
        uint16_t value;
    };
    // The rows in table order, bit 15 for an asserted one: PS2_AC_OK, PS1_AC_OK, CPU_THERM_INT,
    // FAN_ALERT1, PS2_INT, and nothing after the last row below the watchdog ones.
    for (const Entry e : {Entry{0, 0x8001}, Entry{3, 0x0004}, Entry{6, 0x0007}, Entry{21, 0x8016},
                          Entry{29, 0x001E}, Entry{30, 0x0000}}) {
        EXPECT_EQ(entry_at(payload, e.index), e.value) << e.index;
    }
}

TEST_F(AgentApiAnswers, AnyOtherAnswerCarriesItsFirstTenDataBytes)
{
    ASSERT_EQ(agent_init(), ERR_NONE);
    // The start-up dump of 21 signals takes two reads of 20 entries at most.
    ASSERT_EQ(agent_event_handler(), ERR_NONE);
    ASSERT_EQ(agent_event_handler(), ERR_NONE);
    ASSERT_EQ(card().host_agent().fifo_entries(), 0u);
    // Six FIFO entries read through the queue: twelve data bytes, of which the answer has ten.
    for (uint16_t id = 0x16; id < 0x1C; ++id) {
        card().host_agent().push_event(static_cast<uint16_t>(0x8000 | id));
    }
    EXPECT_EQ(handle({0x30, 0x00, 0x00, 0xD0}), ERR_NONE);
    Answer m;
    ASSERT_TRUE(take_answer(m));
    EXPECT_EQ(std::vector<uint8_t>(m.text + 20, m.text + 32),
              (std::vector<uint8_t>{0x80, 0x16, 0x80, 0x17, 0x80, 0x18, 0x80, 0x19, 0x80, 0x1A, 0x00, 0x00}));
}

TEST_F(AgentApiAnswers, AMessageLongerThanAnAnswerIsAReceiveError)
{
    const int pid = kRequester;
    struct {
        long mtype;
        int32_t words[4];
        uint8_t rest[AGENT_API_RESPONSE_LENGTH];
    } big{};
    big.mtype = 1;
    big.words[0] = MSG_CLASS_AGENT_CMD;
    big.words[1] = pid;
    ASSERT_EQ(msgsnd(ipc_queue_id(kReplyKey, 0), &big, AGENT_API_RESPONSE_LENGTH + 1, 0), 0);
    uint8_t status = 0x77;
    EXPECT_EQ(agent_api_wait_response(kReplyKey, pid, &status, nullptr), ERR_IPC);
    EXPECT_EQ(status, 0x77);
    EXPECT_EQ(log_at(3), std::vector<std::string>{"Agent api: kmb_readmsgq failed\n"});
    EXPECT_LT(msgget(kReplyKey, 0), 0) << "the reply queue goes with the error";
}

// A reply queue removed and made again by someone else while the requester waits: the wait
// finds the key's new queue once and takes the answer from there.
TEST_F(AgentApiAnswers, AnAnswerOnTheKeysNewQueueIsFound)
{
    const int old_id = ipc_queue_id(kReplyKey, 0); // the requester knows this one
    ASSERT_GE(old_id, 0);
    ASSERT_EQ(msgctl(old_id, IPC_RMID, nullptr), 0);
    AgentApiResponse answer{};
    answer.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, kRequester, 0, AGENT_API_RESPONSE_LENGTH};
    answer.status = 3;
    const int new_id = msgget(kReplyKey, IPC_CREAT | 0666);
    ASSERT_GE(new_id, 0);
    ASSERT_EQ(msgsnd(new_id, &answer, AGENT_API_RESPONSE_LENGTH, 0), 0);
    uint8_t status = 0x77;
    EXPECT_EQ(agent_api_wait_response(kReplyKey, kRequester, &status, nullptr), ERR_NONE);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(log_at(3), std::vector<std::string>{});
}

} // namespace
} // namespace kmb::test
