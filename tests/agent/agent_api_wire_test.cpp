// The agent API's request on the queue, byte for byte, as the card's other processes send it.
#include <gtest/gtest.h>

#include <cstring>
#include <sys/msg.h>

#include "agent/agent_api.h"
#include "devices/error_codes.h"
#include "ipc/msg_queue.h"
#include "support/private_ipc.h"

namespace kmb::test {
namespace {

using AgentApiWire = PrivateIpc;

int32_t word_at(const uint8_t* text, int offset)
{
    int32_t w = 0;
    std::memcpy(&w, text + offset, sizeof w);
    return w;
}

TEST_F(AgentApiWire, RequestsCarryTheCommandBytesAndTheirChecksum)
{
    struct Case {
        int cmd;
        int param;
        uint8_t bytes[4]; // after the head: command, parameter high and low, checksum
    };
    const Case cases[] = {
        {0x00, 0, {0x00, 0x00, 0x00, 0x00}}, // power_on
        {0x10, 17, {0x10, 0x00, 0x11, 0xDF}}, // reset 17
        {0x19, 0x0104, {0x19, 0x01, 0x04, 0xE2}},
        {0xFF, 0xFFFF, {0xFF, 0xFF, 0xFF, 0x03}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cmd);
        ASSERT_EQ(agent_api_send_request(1, MSG_CLASS_AGENT_CMD, static_cast<uint8_t>(c.cmd),
                                         static_cast<uint8_t>(c.param >> 8), static_cast<uint8_t>(c.param), 12, 4242),
                  ERR_NONE);
        struct {
            long mtype;
            uint8_t text[64];
        } m{};
        const ssize_t n = msgrcv(ipc_queue_id(IPC_KEY_AGENTD, 0), &m, sizeof m.text, 0, IPC_NOWAIT | MSG_NOERROR);
        ASSERT_EQ(n, 20) << "the request is 20 bytes after its type on every build";
        EXPECT_EQ(m.mtype, 1);
        EXPECT_EQ((std::vector<int32_t>{word_at(m.text, 0), word_at(m.text, 4), word_at(m.text, 8), word_at(m.text, 12)}),
                  (std::vector<int32_t>{3, 4242, 12, 20}));
        EXPECT_EQ(std::vector<uint8_t>(m.text + 16, m.text + 20), std::vector<uint8_t>(c.bytes, c.bytes + 4));
    }
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(IPC_KEY_AGENTD, 0)), 0);
}

} // namespace
} // namespace kmb::test
