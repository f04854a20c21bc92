// The host agent's command protocol on I2C bus 0 at 0x57: every byte travels with its one's
// complement. A command frame is the code and its parameter bytes; a response is N data bytes;
// the event FIFO gives 4-byte entries while the agent holds its interrupt (bit 0x40 of the
// agent driver's status). Results are the system-wide error codes.
#pragma once

#include <cstdint>
#include <ctime>

#include "agent/agent_tables.h"

namespace kmb {

inline constexpr unsigned AGENT_I2C_ADDRESS = 0x57;

// Command codes.
inline constexpr int AGENT_POWER_ON = 0x00;
inline constexpr int AGENT_POWER_OFF = 0x01;
inline constexpr int AGENT_PS_ON = 0x02;
inline constexpr int AGENT_PS_OFF = 0x03;
inline constexpr int AGENT_POWER_CYCLE = 0x04;
inline constexpr int AGENT_RD_PWR_STAT = 0x05;
inline constexpr int AGENT_RESET = 0x10;
inline constexpr int AGENT_RD_IMAGE = 0x13;
inline constexpr int AGENT_NMI = 0x14;
inline constexpr int AGENT_RD_INFO = 0x16;
inline constexpr int AGENT_EN_SENSORS = 0x17;
inline constexpr int AGENT_DIS_SENSORS = 0x18;
inline constexpr int AGENT_EN_SENSOR = 0x19;
inline constexpr int AGENT_DIS_SENSOR = 0x1A;
inline constexpr int AGENT_RD_SENSOR = 0x1B;
inline constexpr int AGENT_DUMP_STATE = 0x1C;
inline constexpr int AGENT_RD_NMI_SRC = 0x2C;
inline constexpr int AGENT_RD_CMD_STAT = 0x2E;
inline constexpr int AGENT_RD_LEDS = 0x2F;
inline constexpr int AGENT_RD_FIFO = 0x30;
inline constexpr int AGENT_RD_INFO_REG = 0x31;

// Every byte on the link travels as a pair: the byte, then its one's complement.
struct AgentPair {
    uint8_t data;
    uint8_t complement;
};
// The longest command frame: the code and two parameter bytes.
inline constexpr int AGENT_FRAME_MAX = 6;
static_assert(AGENT_FRAME_MAX == 3 * sizeof(AgentPair));
// One entry of the event FIFO: its data bytes D0 and D1.
inline constexpr int AGENT_FIFO_ENTRY = 4;
static_assert(AGENT_FIFO_ENTRY == 2 * sizeof(AgentPair));

// The size of the buffers that the start-up, the event handler and the daemon read into.
inline constexpr int AGENT_BUF_SIZE = 80;
static_assert(AGENT_BUF_SIZE % AGENT_FIFO_ENTRY == 0, "a full buffer holds whole FIFO entries");
// Tries of a write or a read, and failures in a row of the FIFO, before giving up.
inline constexpr int AGENT_TRIES = 10;

struct AgentCmd {
    const char* name; // nullptr ends the table
    uint8_t code;
    int response;     // 1: the command returns data
    int param_bytes;  // 0, 1 or 2
    int status;       // 0 for rd_cmd_stat and rd_fifo; consulted by nothing
};

// The agent's info record, as rd_info gives it.
struct AgentInfo {
    uint8_t format;
    uint8_t agent_id;
    uint8_t revision;
    uint8_t fifo_depth_max;
    uint8_t ring_depth;
    uint8_t ps_count; // low 7 bits of the sixth byte
};
static_assert(sizeof(AgentInfo) == 6);
// rd_info's answer: the record, each byte with its complement.
inline constexpr int AGENT_INFO_ANSWER = 12;
static_assert(AGENT_INFO_ANSWER == sizeof(AgentInfo) * sizeof(AgentPair));

// The module's state, one per process, zero until agent_init.
struct AgentModule {
    AgentInfo info;
    const AgentCmd* cmd_list;
    AgentEvent* event_list;
    time_t event_time; // of the last FIFO entry that carried a time of its own
};
AgentModule& agent_module();
// The built-in command table.
const AgentCmd* agent_builtin_cmds();

int agent_cmd_exec(int fd, int cmd, int param, uint8_t* rbuf, int rsize, int* received);
int agent_i2c_write(int fd, const uint8_t* frame, int length);
int agent_i2c_read(int fd, int frame_length, const uint8_t* frame, int count, uint8_t* buf);
int agent_read_fifo(int fd, const uint8_t* frame, uint8_t* buf, int size, int* received);
int agent_check_data(const uint8_t* bytes, int count);
int agent_resp_len(int cmd);
int agent_check_param(int cmd, int param);
int agent_update_info(const uint8_t* raw);
// The name of the first row of `table` with `code`, or "unknown"; 0.
int agent_cmd_name(int code, const AgentCmd* table, char* buf, int size);

int agent_init();
int agent_event_handler();
int agent_events_to_sel(const uint8_t* fifo, int count);
int agent_report_error(int code, int flag, int cmd, int param, int result);

// Flags of an agent error record.
inline constexpr int AGENT_FLAG_NONE = 0;
inline constexpr int AGENT_FLAG_CMD = 1;
inline constexpr int AGENT_FLAG_STATUS = 5;

} // namespace kmb
