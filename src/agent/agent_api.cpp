#include "agent/agent_api.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <syslog.h>

#include "agent/agent_protocol.h"
#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/log.h"
#include "ipc/msg_queue.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr uint8_t kNoStatus = 0xFF;
// dump_state answers carry the rows up to the first with an ID above this (the watchdog rows).
constexpr uint16_t kDumpLastId = 0xF00;
constexpr uint16_t kDumpAsserted = 0x8000;
constexpr int kOtherPayload = 10; // data bytes carried for any other command
static_assert(kOtherPayload <= AGENT_BUF_SIZE / static_cast<int>(sizeof(AgentPair)), "data bytes of one read");

int pid_of_caller() { return static_cast<int>(os::getpid()); }

// The payload of a class-3 answer and, for dump_state, its entry count. A request that failed
// (its checksum, say) carries the status it was given and no dump.
int fill_agent_payload(int cmd, int result, const uint8_t* data, int data_len, uint8_t* payload, int status)
{
    const AgentModule& m = agent_module();
    if (cmd == AGENT_DUMP_STATE && result == ERR_NONE) {
        int entries = 0;
        const AgentEvent* table = m.event_list;
        const int room = AGENT_API_PAYLOAD / static_cast<int>(sizeof(uint16_t));
        for (int i = 0; table != nullptr && table[i].name[0] != '\0' && table[i].event_id <= kDumpLastId &&
                        entries < room;
             ++i) {
            const uint16_t entry =
                static_cast<uint16_t>(table[i].event_id | (table[i].current != 0 ? kDumpAsserted : 0));
            std::memcpy(payload + 2 * entries, &entry, sizeof entry);
            ++entries;
        }
        return entries;
    }
    int n = 0;
    if (cmd == AGENT_RD_INFO) {
        std::memcpy(payload, &m.info, sizeof m.info);
        return status;
    }
    n = cmd == AGENT_RD_PWR_STAT ? m.info.ps_count : kOtherPayload;
    if (n > data_len) {
        n = data_len;
    }
    if (n > 0 && data != nullptr) {
        std::memcpy(payload, data, static_cast<std::size_t>(n));
    }
    return status;
}

int request_and_wait(int cmd, int param, int reply_key, uint8_t* status, uint8_t* payload)
{
    const int pid = pid_of_caller();
    if (agent_api_send_request(1, MSG_CLASS_AGENT_CMD, static_cast<uint8_t>(cmd), static_cast<uint8_t>(param >> 8),
                               static_cast<uint8_t>(param), reply_key, pid) != ERR_NONE) {
        return ERR_IPC;
    }
    return agent_api_wait_response(reply_key, pid, status, payload);
}

} // namespace

uint8_t agent_checksum(const uint8_t* bytes, int n)
{
    unsigned sum = 0;
    for (int i = 0; i < n; ++i) {
        sum += bytes[i];
    }
    return static_cast<uint8_t>(-sum);
}

bool agent_api_reply_key_ok(int key) { return key >= 1 && key <= IPC_MAX_KEY && key != IPC_KEY_AGENTD; }

bool agent_cmd_needs_status(int cmd)
{
    return (cmd >= AGENT_POWER_ON && cmd <= AGENT_POWER_CYCLE) || cmd == AGENT_RESET || cmd == AGENT_NMI;
}

int agent_api_send_request(long mtype, int msg_class, uint8_t b0, uint8_t b1, uint8_t b2, int reply_key, int pid)
{
    if (!agent_api_reply_key_ok(reply_key)) {
        log_msg(LOG_ERR, "Agent api: reply key %d is no queue of a daemon", reply_key);
        return ERR_IPC;
    }
    AgentApiRequest req{};
    req.head.mtype = mtype;
    req.head.msg_class = msg_class;
    req.head.word2 = pid;
    req.head.word3 = reply_key;
    req.head.length = AGENT_API_REQUEST_LENGTH;
    req.bytes[0] = b0;
    req.bytes[1] = b1;
    req.bytes[2] = b2;
    req.checksum = agent_checksum(req.bytes, 3);
    if (ipc_send_to(IPC_KEY_AGENTD, &req.head) != 0) {
        log_msg(LOG_ERR, "Fail to send msg to agentd");
        return ERR_IPC;
    }
    return ERR_NONE;
}

int agent_api_wait_response(int reply_key, int pid, uint8_t* status, uint8_t* payload)
{
    auto* resp = static_cast<AgentApiResponse*>(std::calloc(1, sizeof(AgentApiResponse)));
    if (resp == nullptr) {
        return ERR_IPC;
    }
    int id = ipc_queue_id(reply_key, 0);
    if (id < 0) {
        log_msg(LOG_ERR, "Fail to access agent api queue %d", reply_key);
        std::free(resp);
        return ERR_IPC;
    }
    // A reply queue removed under us (ipcrm, or a process that gave the key up) is made again
    // once: the daemon's answer goes to the queue that the key names now.
    bool looked_again = false;
    while (true) {
        resp->head.mtype = 1;
        resp->head.length = AGENT_API_RESPONSE_LENGTH;
        if (kmb_readmsgq(id, &resp->head, 0, 0) < 0) {
            if (ipc_queue_gone(errno) && !looked_again) {
                looked_again = true;
                ipc_queue_forget(reply_key);
                id = ipc_queue_id(reply_key, 0);
                if (id >= 0) {
                    continue;
                }
            }
            log_msg(LOG_ERR, "Agent api: kmb_readmsgq failed");
            ipc_queue_remove(id);
            std::free(resp);
            return ERR_IPC;
        }
        if (resp->head.word2 == pid) {
            break;
        }
        log_msg(LOG_ERR, "Error: mypid %d, msg pid %d. Retry", pid, resp->head.word2);
    }
    const int result = resp->result;
    if (status != nullptr) {
        *status = resp->status;
    }
    if (payload != nullptr) {
        if (resp->head.msg_class == MSG_CLASS_AGENT_CMD) {
            std::memcpy(payload, resp->payload, AGENT_API_PAYLOAD);
        } else if (resp->head.msg_class == MSG_CLASS_LM77) {
            std::memcpy(payload, resp->payload, AGENT_API_LM77_PAYLOAD);
        }
    }
    std::free(resp);
    return result;
}

int agent_api_write(int cmd, int param, int reply_key, uint8_t* status)
{
    uint8_t st = kNoStatus;
    const int result = request_and_wait(cmd, param, reply_key, &st, nullptr);
    if (result != ERR_NONE) {
        log_msg(LOG_ERR, "agent_api_write: err %02x", result);
        agent_report_error(result, AGENT_FLAG_CMD, cmd, param, 0);
    } else if (st != 0 && agent_cmd_needs_status(cmd)) {
        log_msg(LOG_ERR, "agent_api_write: result %02x cmd %02x", st, cmd);
        agent_report_error(ERR_NONE, AGENT_FLAG_STATUS, cmd, param, st);
    }
    if (status != nullptr) {
        *status = st;
    }
    return result;
}

int agent_api_read(int cmd, int param, uint8_t* payload, int reply_key, uint8_t* status)
{
    uint8_t st = kNoStatus;
    const int result = request_and_wait(cmd, param, reply_key, &st, payload);
    if (result >= ERR_WRITE) {
        log_msg(LOG_ERR, "agent_api_read: err %02x", result);
        agent_report_error(result, AGENT_FLAG_CMD, cmd, param, 0);
    }
    if (status != nullptr) {
        *status = st;
    }
    return result;
}

int agent_api_handle_request(const AgentApiRequest* request)
{
    const int cmd = request->bytes[0];
    const int param = request->bytes[1] * 256 + request->bytes[2];
    int status = kNoStatus;
    int result = ERR_NONE;
    uint8_t data[AGENT_BUF_SIZE / sizeof(AgentPair)] = {};
    int data_len = 0;
    if (agent_checksum(request->bytes, 3) != request->checksum) {
        log_msg(LOG_ERR, "Agent API checksum error");
        result = ERR_CHECKSUM;
        agent_report_error(ERR_CHECKSUM, AGENT_FLAG_NONE, 0, 0, 0);
    } else if (cmd == AGENT_DUMP_STATE || (cmd == AGENT_RD_INFO && param != 0)) {
        status = 0; // answered from what the module holds
    } else {
        int fd = -1;
        if (i2c_dev_open(&fd, AGENT_I2C_ADDRESS) != ERR_NONE) {
            result = ERR_I2C;
        } else {
            uint8_t raw[AGENT_BUF_SIZE] = {};
            int received = 0;
            result = agent_cmd_exec(fd, cmd, param, raw, sizeof raw, &received);
            for (int i = 0; i < received; i += static_cast<int>(sizeof(AgentPair))) {
                data[data_len++] = raw[i];
            }
            if (result == ERR_NONE) {
                if (cmd == AGENT_POWER_CYCLE) {
                    os::sleep(agent_module().info.agent_id == AGENT_ID_VALDOR ? 6 : 5);
                } else if (cmd == AGENT_RESET) {
                    os::sleep(1);
                } else {
                    os::usleep(100);
                }
                uint8_t stat[AGENT_BUF_SIZE] = {};
                int stat_received = 0;
                if (agent_cmd_exec(fd, AGENT_RD_CMD_STAT, 0, stat, sizeof stat, &stat_received) == ERR_NONE) {
                    status = stat[0];
                }
            }
            os::close(fd);
        }
    }
    if (agent_api_respond(cmd, 1, MSG_CLASS_AGENT_CMD, request->head.word3, request->head.word2, result, data,
                          data_len, status & 0xFF) != ERR_NONE) {
        log_msg(LOG_ERR, "agent_api: failed to send response back to requester");
        agent_report_error(ERR_IPC, AGENT_FLAG_STATUS, cmd, param, status);
    }
    return result;
}

int agent_api_respond(int cmd, long mtype, int msg_class, int reply_key, int pid, int result, const uint8_t* data,
                      int data_len, int status)
{
    auto* resp = static_cast<AgentApiResponse*>(std::calloc(1, sizeof(AgentApiResponse)));
    if (resp == nullptr) {
        return ERR_IPC;
    }
    resp->head.mtype = mtype;
    resp->head.msg_class = msg_class;
    resp->head.word2 = pid;
    resp->head.word3 = 0;
    resp->head.length = AGENT_API_RESPONSE_LENGTH;
    resp->result = static_cast<uint8_t>(result);
    resp->status = static_cast<uint8_t>(status);
    if (msg_class == MSG_CLASS_AGENT_CMD) {
        resp->status = static_cast<uint8_t>(fill_agent_payload(cmd, result, data, data_len, resp->payload, status));
    } else if (msg_class == MSG_CLASS_LM77 && data != nullptr) {
        std::memcpy(resp->payload, data, static_cast<std::size_t>(std::min(data_len, AGENT_API_LM77_PAYLOAD)));
    }
    const int rc = ipc_send_to(reply_key, &resp->head);
    std::free(resp);
    if (rc != 0) {
        log_msg(LOG_ERR, "Fail to send msg to agent api");
        return ERR_IPC;
    }
    return ERR_NONE;
}

} // namespace kmb
