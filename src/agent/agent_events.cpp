// The agent module's life in the agent daemon: start-up, the interrupt's FIFO reading, and the
// records it leaves in the system event log.
#include <cstring>
#include <syslog.h>
#include <unistd.h>
#include <vector>

#include "agent/agent_protocol.h"
#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/log.h"
#include "ipc/sel.h"
#include "os/os.h"

namespace kmb {

namespace {

// Bits of a FIFO entry's 16-bit record.
constexpr unsigned kAsserted = 0x8000;
constexpr unsigned kSameTime = 0x4000; // carries the time of the entry before it
constexpr unsigned kInformational = 0x2000;
constexpr unsigned kKindShift = 12;
constexpr unsigned kKindStateDump = 1; // an answer to dump_state
constexpr unsigned kIdMask = 0x0FFF;

constexpr uint8_t kInfoFormat = 1; // the only info format whose commands we know

AgentEvent* find_row(AgentEvent* table, unsigned id)
{
    for (int i = 0; table != nullptr && table[i].name[0] != '\0'; ++i) {
        if (table[i].event_id == id) {
            return &table[i];
        }
    }
    return nullptr;
}

// Runs one start-up command; false with the failure logged and reported.
bool init_step(int fd, int cmd, const char* failure, uint8_t* buf, int* result)
{
    int received = 0;
    *result = agent_cmd_exec(fd, cmd, 0, buf, AGENT_BUF_SIZE, &received);
    if (*result != ERR_NONE) {
        log_msg(LOG_ERR, "%s", failure);
        agent_report_error(*result, AGENT_FLAG_CMD, cmd, 0, 0);
        return false;
    }
    return true;
}

} // namespace

int agent_report_error(int code, int flag, int cmd, int param, int result)
{
    SelRecord r{};
    r.timestamp = static_cast<int32_t>(os::time(nullptr));
    r.severity = 2;
    r.event_type = SEL_TYPE_AGENT_ERROR;
    r.event_data[0] = static_cast<uint8_t>(code);
    r.event_data[1] = static_cast<uint8_t>(flag);
    r.event_data[2] = static_cast<uint8_t>(cmd);
    const int32_t p = param;
    std::memcpy(r.event_data + 4, &p, sizeof p);
    r.event_data[8] = static_cast<uint8_t>(result);
    if (sel_send(SEL_MTYPE, 1, &r) != 0) {
        log_msg(LOG_ERR, "Fail to send agent error to sel");
        return ERR_IPC;
    }
    log_msg(LOG_DEBUG, "Send agent err %02x, flag %x, cmd %02x, par %02x", code, flag, cmd, param);
    return ERR_NONE;
}

int agent_init()
{
    AgentModule& m = agent_module();
    int fd = -1;
    if (i2c_dev_open(&fd, AGENT_I2C_ADDRESS) != ERR_NONE) {
        log_msg(LOG_ERR, "agent_init : I2C_ERR");
        agent_report_error(ERR_I2C, AGENT_FLAG_NONE, 0, 0, 0);
        return ERR_I2C;
    }
    m.cmd_list = agent_builtin_cmds();
    uint8_t buf[AGENT_BUF_SIZE] = {};
    int result = ERR_NONE;
    const bool ok = init_step(fd, AGENT_RD_INFO, "agent_init: Error reading agent info", buf, &result) &&
                    agent_update_info(buf) == 0 &&
                    init_step(fd, AGENT_EN_SENSORS, "agent_init: Error enable all sensors", buf, &result) &&
                    init_step(fd, AGENT_DUMP_STATE, "agent_init: Error dump sensors state", buf, &result);
    if (!ok) {
        os::close(fd);
        return result;
    }
    if (m.info.agent_id == AGENT_ID_TAMBER) {
        m.event_list = agent_tamber_events();
    } else if (m.info.agent_id == AGENT_ID_VALDOR) {
        m.event_list = agent_valdor_events();
    } else {
        m.event_list = nullptr;
        log_msg(LOG_ERR, "agent_init Error: agent_event_list empty");
    }
    if (m.info.format == kInfoFormat) {
        m.cmd_list = agent_builtin_cmds();
    } else {
        m.cmd_list = nullptr;
        log_msg(LOG_ERR, "agent_init Error: agent_cmd_list empty");
    }
    os::close(fd);
    return ERR_NONE;
}

int agent_event_handler()
{
    int fd = -1;
    if (i2c_dev_open(&fd, AGENT_I2C_ADDRESS) != ERR_NONE) {
        log_msg(LOG_ERR, "agent_event_handler: I2C_ERR");
        agent_report_error(ERR_I2C, AGENT_FLAG_NONE, 0, 0, 0);
        return ERR_I2C;
    }
    uint8_t buf[AGENT_BUF_SIZE] = {};
    int received = 0;
    const int result = agent_cmd_exec(fd, AGENT_RD_FIFO, 0, buf, AGENT_BUF_SIZE, &received);
    if (result != ERR_NONE) {
        log_msg(LOG_ERR, "agent_event_handler: error read FIFO");
        agent_report_error(result, AGENT_FLAG_CMD, AGENT_RD_FIFO, 0, 0);
    }
    os::close(fd);
    if (received > 0) {
        agent_events_to_sel(buf, received);
    }
    return result;
}

int agent_events_to_sel(const uint8_t* fifo, int count)
{
    AgentModule& m = agent_module();
    std::vector<SelRecord> records;
    for (int i = 0; i + AGENT_FIFO_ENTRY <= count; i += AGENT_FIFO_ENTRY) {
        const unsigned rec = fifo[i] * 256u + fifo[i + 2];
        if (m.event_list == nullptr) {
            log_msg(LOG_ERR, "Error: Event list is empty!!!");
        }
        int severity = 0; // an ID that no row names
        AgentEvent* row = nullptr;
        if ((rec & kInformational) != 0) {
            severity = 1;
        } else {
            row = find_row(m.event_list, rec & kIdMask);
            if (row != nullptr) {
                row->current = (rec & kAsserted) != 0 ? 1 : 0;
                severity = row->current == row->normal ? 0 : row->severity;
            }
        }
        if (((rec >> kKindShift) & 3) == kKindStateDump && (row == nullptr || row->current == row->normal)) {
            continue; // a dumped signal that is where it belongs
        }
        if ((rec & kSameTime) == 0) {
            m.event_time = os::time(nullptr);
        }
        SelRecord r{};
        r.timestamp = static_cast<int32_t>(m.event_time);
        r.severity = severity;
        r.event_type = SEL_TYPE_AGENT_EVENT;
        r.event_data[0] = m.info.agent_id;
        const uint16_t rec16 = static_cast<uint16_t>(rec);
        std::memcpy(r.event_data + 2, &rec16, sizeof rec16);
        records.push_back(r);
    }
    if (sel_send(SEL_MTYPE, static_cast<int>(records.size()), records.data()) != 0) {
        log_msg(LOG_ERR, "Fail to send agent event to sel");
        return ERR_IPC;
    }
    return ERR_NONE;
}

} // namespace kmb
