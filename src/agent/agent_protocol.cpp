#include "agent/agent_protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <syslog.h>

#include "devices/agentdrv.h"
#include "devices/error_codes.h"
#include "devices/log.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr AgentCmd kBuiltinCmds[] = {
    {"power_on", 0x00, 0, 0, 1},    {"power_off", 0x01, 0, 0, 1},   {"power_cycle", 0x04, 0, 0, 1},
    {"nmi", 0x14, 0, 0, 1},         {"ps_on", 0x02, 0, 1, 1},       {"ps_off", 0x03, 0, 1, 1},
    {"reset", 0x10, 0, 1, 1},       {"en_sensors", 0x17, 0, 0, 1},  {"dis_sensors", 0x18, 0, 0, 1},
    {"en_sensor", 0x19, 0, 2, 1},   {"dis_sensor", 0x1A, 0, 2, 1},  {"rd_sensor", 0x1B, 1, 2, 1},
    {"rd_leds", 0x2F, 1, 0, 1},     {"rd_cmd_stat", 0x2E, 1, 0, 0}, {"rd_pwr_stat", 0x05, 1, 0, 1},
    {"rd_image", 0x13, 1, 0, 1},    {"rd_info", 0x16, 1, 0, 1},     {"rd_nmi_src", 0x2C, 1, 0, 1},
    {"rd_info_reg", 0x31, 1, 1, 1}, {"rd_fifo", 0x30, 1, 0, 0},     {"dump_state", 0x1C, 1, 0, 1},
    {nullptr, 0, 0, 0, 0},
};

// The reset command's parameters: the host's three reset kinds.
constexpr int kResetFirst = 16;
constexpr int kResetLast = 18;

// One log line of at most 200 characters, built piece by piece and cut when full.
class DumpText {
public:
    template <typename... Args>
    void add(const char* format, Args... args)
    {
        if (len_ < sizeof text_ - 1) {
            const int n = std::snprintf(text_ + len_, sizeof text_ - len_, format, args...);
            len_ = n < 0 ? len_ : std::min(sizeof text_ - 1, len_ + static_cast<std::size_t>(n));
        }
    }
    const char* text() const { return text_; }

private:
    char text_[200] = {};
    std::size_t len_ = 0;
};

const AgentCmd* find_cmd(const AgentCmd* table, int code)
{
    for (const AgentCmd* row = table; row != nullptr && row->name != nullptr; ++row) {
        if (row->code == code) {
            return row;
        }
    }
    return nullptr;
}

const AgentEvent* find_event(const AgentEvent* table, int id)
{
    for (int i = 0; table != nullptr && table[i].name[0] != '\0'; ++i) {
        if (table[i].event_id == id) {
            return &table[i];
        }
    }
    return nullptr;
}

bool fifo_interrupt(int status) { return (status & AGENTDRV_STATUS_AGENT_EVENT) != 0; }

} // namespace

AgentModule& agent_module()
{
    static AgentModule module{};
    return module;
}

const AgentCmd* agent_builtin_cmds() { return kBuiltinCmds; }

int agent_cmd_name(int code, const AgentCmd* table, char* buf, int size)
{
    const AgentCmd* row = find_cmd(table, code);
    if (buf != nullptr && size > 0) {
        std::snprintf(buf, static_cast<std::size_t>(size), "%s", row != nullptr ? row->name : "unknown");
    }
    return 0;
}

int agent_resp_len(int cmd)
{
    switch (cmd) {
    case AGENT_RD_PWR_STAT:
        return static_cast<int>(sizeof(AgentPair)) * agent_module().info.ps_count;
    case AGENT_RD_INFO:
        return AGENT_INFO_ANSWER;
    default:
        return 2;
    }
}

int agent_check_param(int cmd, int param)
{
    const AgentModule& m = agent_module();
    switch (cmd) {
    case AGENT_PS_ON:
    case AGENT_PS_OFF:
        return param >= 0 && param < m.info.ps_count ? 0 : -1;
    case AGENT_RESET:
        return param >= kResetFirst && param <= kResetLast ? 0 : -1;
    case AGENT_EN_SENSOR:
    case AGENT_DIS_SENSOR:
    case AGENT_RD_SENSOR:
        if (m.info.agent_id == AGENT_ID_VALDOR) {
            return 0;
        }
        return find_event(m.event_list, param) != nullptr ? 0 : -1;
    case AGENT_RD_INFO_REG:
        if (m.info.agent_id == AGENT_ID_VALDOR) {
            return 0;
        }
        return m.info.agent_id == AGENT_ID_TAMBER && (param == 0 || param == 1) ? 0 : -1;
    default:
        return 0;
    }
}

int agent_check_data(const uint8_t* bytes, int count)
{
    DumpText dump;
    dump.add("Read %d bytes: ", count);
    for (int i = 0; i + 1 < count; i += 2) {
        dump.add("%02x [%02x] ", bytes[i], bytes[i + 1]);
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xFF) {
            log_msg(LOG_DEBUG, "%s", dump.text());
            return ERR_END_OF_DATA;
        }
        if ((bytes[i] ^ bytes[i + 1]) != 0xFF) {
            log_msg(LOG_DEBUG, "%s", dump.text());
            log_msg(LOG_ERR, "Error: invalid data from agent: byte %d: 0x%02x, byte %d: 0x%02x", i, bytes[i], i + 1,
                    bytes[i + 1]);
            return ERR_RESPONSE;
        }
    }
    log_msg(LOG_DEBUG, "%s", dump.text());
    return ERR_NONE;
}

int agent_i2c_write(int fd, const uint8_t* frame, int length)
{
    DumpText dump;
    dump.add("Writing %d bytes: ", length);
    for (int i = 0; i < length; ++i) {
        dump.add("%02x ", frame[i]);
    }
    log_msg(LOG_DEBUG, "%s", dump.text());
    for (int attempt = 0; attempt < AGENT_TRIES; ++attempt) {
        if (os::write(fd, frame, static_cast<size_t>(length)) == length) {
            return ERR_NONE;
        }
        os::sleep(1);
        log_msg(LOG_ERR, "Error writing try# %d", attempt);
    }
    return ERR_WRITE;
}

int agent_i2c_read(int fd, int frame_length, const uint8_t* frame, int count, uint8_t* buf)
{
    if (agent_i2c_write(fd, frame, frame_length) != ERR_NONE) {
        return ERR_WRITE;
    }
    os::usleep(100);
    for (int attempt = 0; attempt < AGENT_TRIES; ++attempt) {
        if (os::read(fd, buf, static_cast<size_t>(count)) == count) {
            return agent_check_data(buf, count);
        }
        log_msg(LOG_ERR, "Error reading try# %d", attempt);
        os::usleep(200000);
    }
    return ERR_READ;
}

int agent_read_fifo(int fd, const uint8_t* frame, uint8_t* buf, int size, int* received)
{
    *received = 0;
    int status = agentdrv_get_status();
    if (!fifo_interrupt(status)) {
        log_msg(LOG_ERR, "Error read fifo called with no intr");
        return ERR_INTERRUPT;
    }
    const int written = agent_i2c_write(fd, frame, static_cast<int>(sizeof(AgentPair)));
    if (written != ERR_NONE) {
        return written;
    }
    os::usleep(100);
    int result = ERR_NONE;
    int failures = 0;
    while (*received <= size - AGENT_FIFO_ENTRY && fifo_interrupt(status) && failures < AGENT_TRIES) {
        uint8_t* entry = buf + *received;
        result = os::read(fd, entry, AGENT_FIFO_ENTRY) < AGENT_FIFO_ENTRY ? ERR_READ
                                                                         : agent_check_data(entry, AGENT_FIFO_ENTRY);
        if (result == ERR_NONE) {
            *received += AGENT_FIFO_ENTRY;
            failures = 0;
        } else {
            ++failures;
            if (result == ERR_END_OF_DATA) {
                os::sleep(1);
            } else {
                os::usleep(200000);
            }
            log_msg(LOG_ERR, "Error %d read fifo, try %d", result, failures);
        }
        status = agentdrv_get_status();
    }
    if (result == ERR_END_OF_DATA && fifo_interrupt(status)) {
        log_msg(LOG_ERR, "Error intr asserted while fifo empty");
        return ERR_INTERRUPT;
    }
    return result;
}

int agent_cmd_exec(int fd, int cmd, int param, uint8_t* rbuf, int rsize, int* received)
{
    int ignored = 0;
    int* count = received != nullptr ? received : &ignored;
    *count = 0;
    const AgentModule& m = agent_module();
    if (m.cmd_list == nullptr) {
        log_msg(LOG_ERR, "ERROR: command list empty!");
        return ERR_INVALID_COMMAND;
    }
    const AgentCmd* row = find_cmd(m.cmd_list, cmd);
    if (row == nullptr) {
        log_msg(LOG_ERR, "ERROR: command %02x not found in cmdlist!", cmd);
        return ERR_INVALID_COMMAND;
    }
    if (row->param_bytes > 0 && agent_check_param(cmd, param) != 0) {
        log_msg(LOG_ERR, "ERROR: cmd %x Invalid par %x", cmd, param);
        return ERR_INVALID_PARAMETER;
    }
    uint8_t frame[AGENT_FRAME_MAX];
    int length = 0;
    auto put = [&](uint8_t byte) {
        frame[length++] = byte;
        frame[length++] = static_cast<uint8_t>(~byte);
    };
    put(static_cast<uint8_t>(cmd));
    if (row->param_bytes == 2) {
        put(static_cast<uint8_t>(param >> 8));
    }
    if (row->param_bytes >= 1) {
        put(static_cast<uint8_t>(param));
    }

    int result;
    if (row->response == 0 || cmd == AGENT_DUMP_STATE) {
        result = agent_i2c_write(fd, frame, length);
    } else if (cmd == AGENT_RD_FIFO) {
        result = agent_read_fifo(fd, frame, rbuf, rsize, count);
    } else {
        int want = agent_resp_len(cmd);
        if (want > rsize) {
            log_msg(LOG_ERR, "Error: rbuf too small, missing %d bytes", want - rsize);
            want = rsize;
        }
        result = agent_i2c_read(fd, length, frame, want, rbuf);
        if (result != ERR_WRITE && result != ERR_READ) {
            *count = want; // the bytes arrived, whatever the check made of them
        }
    }
    if (result != ERR_NONE) {
        log_msg(LOG_ERR, "ERROR: cmd %02x err %02x", cmd, result);
    }
    return result;
}

int agent_update_info(const uint8_t* raw)
{
    AgentInfo& info = agent_module().info;
    info.format = raw[0];
    info.agent_id = raw[2];
    info.revision = raw[4];
    info.fifo_depth_max = raw[6];
    info.ring_depth = raw[8];
    info.ps_count = raw[10] & 0x7F;
    log_msg(LOG_DEBUG, "agent_update_info:\n");
    return 0;
}

} // namespace kmb
