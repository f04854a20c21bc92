// The agent module as agent_init leaves it on a Tamber host with two supplies, and one command
// on a descriptor of its own: what the protocol's tests start from.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "agent/agent_protocol.h"
#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "os/os.h"
#include "support/agent_card.h"

namespace kmb::test {

class TamberAgent : public AgentCard {
protected:
    void tamber_module()
    {
        AgentModule& m = agent_module();
        m.info = AgentInfo{1, AGENT_ID_TAMBER, 0x23, 0x10, 0x40, 2};
        m.cmd_list = agent_builtin_cmds();
        m.event_list = agent_tamber_events();
    }
    int exec(int cmd, int param, uint8_t* buf, int size, int* received)
    {
        int fd = -1;
        if (i2c_dev_open(&fd, AGENT_I2C_ADDRESS) != ERR_NONE) {
            return -1;
        }
        const int rc = agent_cmd_exec(fd, cmd, param, buf, size, received);
        os::close(fd);
        return rc;
    }
    int64_t now() { return card().clock().now_us(); }
};

// The FIFO entry a SEL record carries in its data bytes 2 and 3, in the card's byte order.
inline uint16_t rec_of(const SelRecord& r)
{
    uint16_t rec = 0;
    std::memcpy(&rec, r.event_data + 2, 2);
    return rec;
}

// A 32-bit word of a message's text, in the card's byte order.
inline int32_t word_at(const uint8_t* text, int offset)
{
    int32_t w = 0;
    std::memcpy(&w, text + offset, sizeof w);
    return w;
}

inline std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace kmb::test
