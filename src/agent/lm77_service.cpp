#include "agent/lm77_service.h"

#include <cstring>
#include <syslog.h>

#include "devices/agentdrv.h"
#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/log.h"
#include "ipc/sel.h"
#include "os/os.h"

namespace kmb {

namespace {

static_assert(sizeof(Lm77State) == AGENT_API_LM77_PAYLOAD, "the answer carries the cache's five words");

// Polls of a limit test, a second apart.
constexpr int kLimitPolls = 5;

int write_limit(int fd, int reg, int celsius, const char* failure)
{
    if (lm77_write_reg(fd, reg, lm77_from_celsius(celsius)) != ERR_NONE) {
        log_msg(LOG_CRIT, "%s", failure);
        return ERR_WRITE;
    }
    return ERR_NONE;
}

} // namespace

int lm77_report_zone()
{
    SelRecord r{};
    r.timestamp = static_cast<int32_t>(os::time(nullptr));
    r.severity = lm77_state.zone == LM77_ZONE_NORMAL ? 0 : 2;
    r.event_type = SEL_TYPE_LM77_ZONE;
    const int32_t words[5] = {lm77_state.temp, lm77_state.t_low, lm77_state.t_high, lm77_state.t_crit,
                              lm77_state.zone};
    std::memcpy(r.event_data, words, sizeof words);
    return sel_send(SEL_MTYPE, 1, &r) == 0 ? ERR_NONE : ERR_IPC;
}

int lm77_event_handler()
{
    log_msg(LOG_DEBUG, "lm77_event_handler\n");
    int fd = -1;
    if (i2c_dev_open(&fd, LM77_ADDRESS) != ERR_NONE) {
        log_msg(LOG_CRIT, "Error open i2c device");
        return ERR_I2C;
    }
    int word = 0;
    if (lm77_read_reg(fd, LM77_REG_TEMP, &word) != ERR_NONE) {
        log_msg(LOG_CRIT, "Error reading temperature");
        os::close(fd);
        return ERR_READ;
    }
    lm77_state.temp = lm77_to_celsius(word & 0xFFFF);
    const int old_zone = lm77_state.zone;
    lm77_update_zone();
    agentdrv_get_status();
    if (lm77_state.zone != old_zone) {
        lm77_report_zone();
    }
    int result = ERR_NONE;
    auto keep = [&result](int rc) { result = rc != ERR_NONE ? rc : result; };
    if (lm77_state.zone == LM77_ZONE_CRITICAL) {
        // While critical the alarm limit moves out of the way and the high limit takes its place.
        keep(write_limit(fd, LM77_REG_TCRIT, LM77_TCRIT_WHILE_CRITICAL, "Error setting LM77 crit"));
        keep(write_limit(fd, LM77_REG_THIGH, lm77_state.t_crit, "Error setting LM77 hi"));
    } else if (old_zone == LM77_ZONE_CRITICAL) {
        keep(write_limit(fd, LM77_REG_TCRIT, LM77_START_TCRIT, "Error setting LM77 crit"));
        keep(write_limit(fd, LM77_REG_THIGH, LM77_START_THIGH, "Error setting LM77 hi"));
    }
    os::close(fd);
    return result;
}

int lm77_request_handler(const AgentApiRequest* request)
{
    const int op = request->bytes[0];
    const int reg = request->bytes[1];
    const int value = request->bytes[2];
    int result = ERR_NONE;
    int fd = -1;
    if (i2c_dev_open(&fd, LM77_ADDRESS) != ERR_NONE) {
        result = ERR_I2C;
    } else {
        int word = 0;
        switch (op) {
        case LM77_OP_READ:
            result = lm77_read_reg(fd, reg, &word);
            lm77_set_cached_limit(reg, lm77_to_celsius(word & 0xFFFF));
            break;
        case LM77_OP_WRITE:
            result = lm77_write_reg(fd, reg, lm77_from_celsius(value));
            lm77_set_cached_limit(reg, value);
            break;
        case LM77_OP_QUERY:
            break;
        case LM77_OP_READ_TEMP:
            result = lm77_read_reg(fd, LM77_REG_TEMP, &word);
            lm77_state.temp = lm77_to_celsius(word & 0xFFFF);
            break;
        default:
            result = ERR_INVALID_COMMAND;
            break;
        }
        os::close(fd);
    }
    Lm77State cached = lm77_state;
    uint8_t payload[AGENT_API_LM77_PAYLOAD];
    std::memcpy(payload, &cached, sizeof payload);
    agent_api_respond(op, 1, MSG_CLASS_LM77, request->head.word3, request->head.word2, result, payload,
                      sizeof payload, 0);
    return result;
}

int lm77_query(int op, int reg, Lm77State* state, int reply_key)
{
    const int pid = static_cast<int>(os::getpid());
    if (agent_api_send_request(1, MSG_CLASS_LM77, static_cast<uint8_t>(op), static_cast<uint8_t>(reg), 0, reply_key,
                               pid) != ERR_NONE) {
        return ERR_IPC;
    }
    uint8_t payload[AGENT_API_PAYLOAD] = {};
    const int result = agent_api_wait_response(reply_key, pid, nullptr, payload);
    if (state != nullptr) {
        std::memcpy(state, payload, AGENT_API_LM77_PAYLOAD);
    }
    return result;
}

int lm77_request(int op, int reg, int value, int reply_key)
{
    const int pid = static_cast<int>(os::getpid());
    if (agent_api_send_request(1, MSG_CLASS_LM77, static_cast<uint8_t>(op), static_cast<uint8_t>(reg),
                               static_cast<uint8_t>(value), reply_key, pid) != ERR_NONE) {
        return ERR_IPC;
    }
    return agent_api_wait_response(reply_key, pid, nullptr, nullptr);
}

int lm77_limit_test(int kind, int reply_key)
{
    Lm77State before{};
    int rc = lm77_query(LM77_OP_QUERY, 0, &before, reply_key);
    if (rc != ERR_NONE) {
        return rc;
    }
    if (before.zone != LM77_ZONE_NORMAL) {
        return ERR_CANT_TEST;
    }
    const int t = before.temp;
    int reg = LM77_REG_TLOW;
    int value = t + 5;
    int expected = LM77_ZONE_LOW;
    int restore = before.t_low;
    if (kind == LM77_TEST_CRIT) {
        reg = LM77_REG_TCRIT;
        value = t - 5;
        expected = LM77_ZONE_CRITICAL;
        restore = before.t_crit;
        rc = lm77_request(LM77_OP_WRITE, LM77_REG_THIGH, t - 6, reply_key);
        if (rc != ERR_NONE) {
            return rc;
        }
    } else if (kind == LM77_TEST_HIGH) {
        reg = LM77_REG_THIGH;
        value = t - 5;
        expected = LM77_ZONE_HIGH;
        restore = before.t_high;
    }
    rc = lm77_request(LM77_OP_WRITE, reg, value, reply_key);
    if (rc != ERR_NONE) {
        return rc;
    }
    int result = ERR_INTERRUPT;
    for (int poll = 0; poll < kLimitPolls; ++poll) {
        os::sleep(1);
        Lm77State now{};
        const int q = lm77_query(LM77_OP_QUERY, 0, &now, reply_key);
        if (q != ERR_NONE) {
            result = q;
            break;
        }
        if (now.zone == expected) {
            result = ERR_NONE;
            break;
        }
    }
    lm77_request(LM77_OP_WRITE, reg, restore, reply_key);
    if (kind == LM77_TEST_CRIT) {
        lm77_request(LM77_OP_WRITE, LM77_REG_THIGH, before.t_high, reply_key);
    }
    return result;
}

} // namespace kmb
