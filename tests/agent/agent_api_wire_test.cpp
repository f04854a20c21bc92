// The agent API's request on the queue, byte for byte with its checksum, as the card's other
// processes send it.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/msg.h>
#include <unistd.h>
#include <vector>

#include "agent/agent_api.h"
#include "agent/lm77_service.h"
#include "devices/error_codes.h"
#include "ipc/msg_queue.h"
#include "agent/tamber_agent.h"
#include "support/private_ipc.h"
#include "support/sel_queue.h"

namespace kmb::test {
namespace {

using AgentApiWire = PrivateIpc;

// A reply key names a daemon's queue other than the agent daemon's own; anything else is
// refused before a request is sent.
TEST_F(AgentApiWire, ARequestNeedsAReplyQueue)
{
    for (const int key : {0, -1, IPC_KEY_AGENTD, IPC_MAX_KEY + 1}) {
        EXPECT_EQ(agent_api_send_request(1, MSG_CLASS_AGENT_CMD, 0x10, 0x00, 0x11, key, 4242), ERR_IPC) << key;
    }
    for (const int key : {1, IPC_MAX_KEY}) {
        EXPECT_EQ(agent_api_send_request(1, MSG_CLASS_AGENT_CMD, 0x10, 0x00, 0x11, key, 4242), ERR_NONE) << key;
    }
    EXPECT_EQ(ipc_queue_count(ipc_queue_id(IPC_KEY_AGENTD, 0)), 2) << "only the two good keys' requests";
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(IPC_KEY_AGENTD, 0)), 0);
}

// What the clients' calls put on the agent daemon's queue, each answered by a response that
// waits on the reply queue before the call is made.
TEST_F(AgentApiWire, ClientsSendTheirCommandBytesAndChecksum)
{
    constexpr int kReplyKey = 12;
    const int pid = static_cast<int>(getpid());
    struct Case {
        const char* what;
        int32_t msg_class;
        int (*call)();
        uint8_t bytes[4];
    };
    const Case cases[] = {
        {"agent_api_write power_on", MSG_CLASS_AGENT_CMD, [] { return agent_api_write(0x00, 0, kReplyKey, nullptr); },
         {0x00, 0x00, 0x00, 0x00}},
        {"agent_api_write reset 17", MSG_CLASS_AGENT_CMD,
         [] { return agent_api_write(0x10, 17, kReplyKey, nullptr); }, {0x10, 0x00, 0x11, 0xDF}},
        {"agent_api_read en_sensor 0x0104", MSG_CLASS_AGENT_CMD,
         [] {
             uint8_t payload[AGENT_API_PAYLOAD];
             return agent_api_read(0x19, 0x0104, payload, kReplyKey, nullptr);
         },
         {0x19, 0x01, 0x04, 0xE2}},
        {"lm77_request write T_HIGH 50", MSG_CLASS_LM77, [] { return lm77_request(LM77_OP_WRITE, 5, 50, kReplyKey); },
         {0x01, 0x05, 0x32, 0xC8}},
        {"lm77_request write T_LOW 200", MSG_CLASS_LM77,
         [] { return lm77_request(LM77_OP_WRITE, 4, 200, kReplyKey); }, {0x01, 0x04, 0xC8, 0x33}},
        {"lm77_query", MSG_CLASS_LM77,
         [] {
             Lm77State state{};
             return lm77_query(LM77_OP_QUERY, 0, &state, kReplyKey);
         },
         {0x02, 0x00, 0x00, 0xFE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AgentApiResponse answer{};
        answer.head = MsgHeader{1, c.msg_class, pid, 0, AGENT_API_RESPONSE_LENGTH};
        ASSERT_EQ(ipc_send_to(kReplyKey, &answer.head), 0);
        EXPECT_EQ(c.call(), ERR_NONE);
        struct {
            long mtype;
            uint8_t text[64];
        } m{};
        const ssize_t n = msgrcv(ipc_queue_id(IPC_KEY_AGENTD, 0), &m, sizeof m.text, 0, IPC_NOWAIT | MSG_NOERROR);
        ASSERT_EQ(n, 20) << "the request is 20 bytes after its type on every build";
        EXPECT_EQ(m.mtype, 1);
        EXPECT_EQ((std::vector<int32_t>{word_at(m.text, 0), word_at(m.text, 4), word_at(m.text, 8), word_at(m.text, 12)}),
                  (std::vector<int32_t>{c.msg_class, pid, kReplyKey, 20}));
        EXPECT_EQ(std::vector<uint8_t>(m.text + 16, m.text + 20), std::vector<uint8_t>(c.bytes, c.bytes + 4));
    }
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(IPC_KEY_AGENTD, 0)), 0);
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(kReplyKey, 0)), 0);
}

// A command the daemon failed, or one that the agent carried out with a bad status, is the
// client's to report to the SEL daemon: the code, why, the command, its parameter and status.
TEST_F(AgentApiWire, AFailedWriteIsReportedToTheLog)
{
    constexpr int kReplyKey = 12;
    const int pid = static_cast<int>(getpid());
    struct Case {
        const char* what;
        int cmd;
        int result;          // in the daemon's answer
        int status;
        int returned;        // by agent_api_write
        std::vector<int> sel; // code, flag, command, parameter's low byte, status; empty: none
    };
    const Case cases[] = {
        {"reset 17 the daemon could not write", 0x10, ERR_WRITE, 0, ERR_WRITE, {ERR_WRITE, AGENT_FLAG_CMD, 0x10, 17, 0}},
        {"reset 17 with status 2", 0x10, ERR_NONE, 2, ERR_NONE, {ERR_NONE, AGENT_FLAG_STATUS, 0x10, 17, 2}},
        {"en_sensors with status 2: no status asked for", 0x17, ERR_NONE, 2, ERR_NONE, {}},
        {"reset 17 done", 0x10, ERR_NONE, 0, ERR_NONE, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        AgentApiResponse answer{};
        answer.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, pid, 0, AGENT_API_RESPONSE_LENGTH};
        answer.result = static_cast<uint8_t>(c.result);
        answer.status = static_cast<uint8_t>(c.status);
        ASSERT_EQ(ipc_send_to(kReplyKey, &answer.head), 0);
        uint8_t status = 0x77;
        EXPECT_EQ(agent_api_write(c.cmd, 17, kReplyKey, &status), c.returned);
        EXPECT_EQ(status, c.status);
        const std::vector<SelSeen> sel = take_sel_requests();
        ASSERT_EQ(sel.size(), c.sel.empty() ? 0u : 1u);
        if (!c.sel.empty()) {
            const SelRecord& r = sel[0].records.at(0);
            EXPECT_EQ(r.event_type, SEL_TYPE_AGENT_ERROR);
            EXPECT_EQ((std::vector<int>{r.event_data[0], r.event_data[1], r.event_data[2], word_at(r.event_data, 4),
                                        r.event_data[8]}),
                      c.sel);
        }
    }
    ipc_queue_remove(ipc_queue_id(IPC_KEY_AGENTD, 0));
    ipc_queue_remove(ipc_queue_id(IPC_KEY_SELD, 0));
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(kReplyKey, 0)), 0);
}

} // namespace
} // namespace kmb::test
