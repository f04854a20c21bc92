#include "sim/daemons/agent_client.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "agent/agent_api.h"
#include "agent/agent_protocol.h"
#include "agent/agent_tables.h"
#include "agent/lm77_service.h"
#include "devices/error_codes.h"
#include "ipc/sel.h"
#include "os/os.h"
#include "sim/daemons/seld_service.h"

namespace kmb::tools {

namespace {

// A number as the operator types it: decimal, or hex with 0x; false for anything else.
bool parse_number(const std::string& text, long most, int& value)
{
    if (text.empty() || text.size() > 12 || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v < 0 || v > most) {
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

// The code of a command named as the agent's command table names it, or given as a number.
bool command_code(const std::string& word, int& code)
{
    for (const AgentCmd* row = agent_builtin_cmds(); row->name != nullptr; ++row) {
        if (word == row->name) {
            code = row->code;
            return true;
        }
    }
    return parse_number(word, 0xFF, code);
}

const AgentEvent* event_named(uint8_t agent_id, int id)
{
    const AgentEvent* table = agent_id == AGENT_ID_VALDOR ? agent_valdor_events() : agent_tamber_events();
    for (int i = 0; i < agent_event_count(table); ++i) {
        if (table[i].event_id == id) {
            return &table[i];
        }
    }
    return nullptr;
}

void print_result(int result, int status)
{
    std::printf("result: %d (%s)\n", result, error_text(result));
    const char* text = agent_cmd_status_text(status);
    std::printf("status: 0x%02x (%s)\n", status, text != nullptr ? text : "unknown");
}

// The agent's ID as the daemon has it, for names of signals.
uint8_t agent_id_of(int reply_key)
{
    uint8_t info[AGENT_API_PAYLOAD] = {};
    uint8_t status = 0;
    return agent_api_read(AGENT_RD_INFO, 1, info, reply_key, &status) == ERR_NONE ? info[1] : 0;
}

void print_payload(int cmd, int param, const uint8_t* p, int status, int reply_key)
{
    char name[24];
    switch (cmd) {
    case AGENT_RD_INFO:
        agent_id_name(p[1], name, sizeof name);
        std::printf("info record format: 0x%02x\nagent ID: 0x%02x (%s)\nrevision: 0x%02x\n"
                    "FIFO depth max: 0x%02x\nring depth: 0x%02x\nPS count: %d\n",
                    p[0], p[1], name, p[2], p[3], p[4], p[5]);
        break;
    case AGENT_RD_PWR_STAT: {
        uint8_t info[AGENT_API_PAYLOAD] = {};
        uint8_t st = 0;
        const int supplies = agent_api_read(AGENT_RD_INFO, 1, info, reply_key, &st) == ERR_NONE ? info[5] : 0;
        for (int i = 0; i < supplies && i < AGENT_API_PAYLOAD; ++i) {
            std::printf("power supply %d: %s\n", i, p[i] != 0 ? "on" : "off");
        }
        break;
    }
    case AGENT_DUMP_STATE: {
        const uint8_t id = agent_id_of(reply_key);
        for (int i = 0; i < status && 2 * i + 1 < AGENT_API_PAYLOAD; ++i) {
            uint16_t entry = 0;
            std::memcpy(&entry, p + 2 * i, sizeof entry);
            const AgentEvent* row = event_named(id, entry & 0x0FFF);
            std::printf("0x%03x %-20s %s\n", entry & 0x0FFF, row != nullptr ? row->name : "?",
                        (entry & 0x8000) != 0 ? "asserted" : "deasserted");
        }
        break;
    }
    case AGENT_RD_NMI_SRC:
        agent_print_nmi_src(p[0]);
        break;
    case AGENT_RD_INFO_REG:
        agent_print_info_reg(agent_id_of(reply_key), param, p[0]);
        break;
    case AGENT_RD_SENSOR:
        std::printf("signal 0x%03x: %s\n", param, p[0] != 0 ? "asserted" : "deasserted");
        break;
    case AGENT_RD_IMAGE:
    case AGENT_RD_LEDS:
    case AGENT_RD_CMD_STAT:
        std::printf("data: 0x%02x\n", p[0]);
        break;
    default:
        break;
    }
}

int agent_command(const std::vector<std::string>& words, int reply_key)
{
    int cmd = 0;
    int param = 0;
    if (words.size() > 2 || !command_code(words[0], cmd) || (words.size() == 2 && !parse_number(words[1], 0xFFFF, param))) {
        std::fprintf(stderr, "kmb-agent: not an agent command: %s%s%s\n", words[0].c_str(),
                     words.size() > 1 ? " " : "", words.size() > 1 ? words[1].c_str() : "");
        return 2;
    }
    uint8_t payload[AGENT_API_PAYLOAD] = {};
    uint8_t status = 0xFF;
    const int result = agent_api_read(cmd, param, payload, reply_key, &status);
    char name[24];
    agent_cmd_name(cmd, agent_builtin_cmds(), name, sizeof name);
    std::printf("%s (0x%02x", name, cmd);
    if (param != 0) {
        std::printf(", parameter 0x%x", param);
    }
    std::printf(")\n");
    if (cmd == AGENT_DUMP_STATE && result == ERR_NONE) {
        std::printf("result: %d (%s)\nentries: %d\n", result, error_text(result), status);
    } else {
        print_result(result, status);
    }
    if (result == ERR_NONE) {
        print_payload(cmd, param, payload, status, reply_key);
    }
    return result == ERR_NONE ? 0 : (result == ERR_IPC ? 3 : 1);
}

int lm77_command(const std::vector<std::string>& words, int reply_key)
{
    static const char* const kOps[] = {"read", "write", "query", "temp"};
    int op = -1;
    for (int i = 0; i < 4; ++i) {
        op = words.size() >= 2 && words[1] == kOps[i] ? i : op;
    }
    int reg = 0;
    int value = 0;
    const std::size_t want = op == LM77_OP_WRITE ? 4 : (op == LM77_OP_READ ? 3 : 2);
    const bool ok = op >= 0 && words.size() == want && (want < 3 || parse_number(words[2], 0xFF, reg)) &&
                    (want < 4 || parse_number(words[3], 0xFF, value));
    if (!ok) {
        std::fprintf(stderr, "kmb-agent: an LM77 request is: lm77 read REG | lm77 write REG CELSIUS | "
                             "lm77 query | lm77 temp\n");
        return 2;
    }
    const int pid = static_cast<int>(os::getpid());
    if (agent_api_send_request(1, MSG_CLASS_LM77, static_cast<uint8_t>(op), static_cast<uint8_t>(reg),
                               static_cast<uint8_t>(value), reply_key, pid) != ERR_NONE) {
        std::fprintf(stderr, "kmb-agent: the request cannot be sent to queue %d\n", 4);
        return 3;
    }
    uint8_t payload[AGENT_API_PAYLOAD] = {};
    const int result = agent_api_wait_response(reply_key, pid, nullptr, payload);
    Lm77State s{};
    std::memcpy(&s, payload, sizeof s);
    static const char* const kZones[] = {"normal", "low", "high", "critical"};
    std::printf("result: %d (%s)\n", result, error_text(result));
    if (result != ERR_IPC) {
        std::printf("temperature: %d C\nT_LOW: %d C\nT_HIGH: %d C\nT_CRIT: %d C\nzone: %d (%s)\n", s.temp, s.t_low,
                    s.t_high, s.t_crit, s.zone, s.zone >= 0 && s.zone <= 3 ? kZones[s.zone] : "unknown");
    }
    return result == ERR_NONE ? 0 : (result == ERR_IPC ? 3 : 1);
}

void print_record_data(const SelStoredHead& head, const uint8_t* data)
{
    int32_t words[5];
    std::memcpy(words, data, sizeof words);
    switch (head.event_type) {
    case SEL_TYPE_AGENT_EVENT: {
        uint16_t native = 0;
        std::memcpy(&native, data + 2, sizeof native);
        const AgentEvent* row = event_named(data[0], native & 0x0FFF);
        std::printf("Agent ID: 0x%02x\nEvent rec: 0x%04x %s %s\n", data[0], native,
                    row != nullptr ? row->name : "?", (native & 0x8000) != 0 ? "asserted" : "deasserted");
        break;
    }
    case SEL_TYPE_AGENT_ERROR: {
        int32_t param = 0;
        std::memcpy(&param, data + 4, sizeof param);
        char name[24];
        agent_cmd_name(data[2], agent_builtin_cmds(), name, sizeof name);
        std::printf("Agent error: %d (%s), flag %d, command 0x%02x (%s), parameter 0x%x, result 0x%02x\n", data[0],
                    error_text(data[0]), data[1], data[2], name, static_cast<unsigned>(param), data[8]);
        break;
    }
    case SEL_TYPE_LM77_ZONE:
        std::printf("LM77: %d C, T_LOW %d C, T_HIGH %d C, T_CRIT %d C, zone %d\n", words[0], words[1], words[2],
                    words[3], words[4]);
        break;
    case SEL_TYPE_CODED:
        std::printf("Code: %d\n", words[0]);
        break;
    default: {
        char user[8] = {};
        char text[40] = {};
        std::memcpy(user, data, 7);
        std::memcpy(text, data + 8, 39);
        std::printf("User: %s\nText: %s\n", user, text);
        break;
    }
    }
}

int sel_command(const std::vector<std::string>& words)
{
    if (words.size() == 2 && words[1] == "info") {
        SelInfo info{};
        const int rc = sel_get_info(&info);
        if (rc != 0) {
            std::fprintf(stderr, "kmb-agent: the SEL summary cannot be read (%d: %s)\n", rc, error_text(rc));
            return 3;
        }
        std::printf("records: %d\nnext record ID: %d\nnewest: %d\nworst severity: %d\nclears: %d\n",
                    info.fields[0], info.fields[1], info.fields[2], info.fields[3], info.fields[4]);
        return 0;
    }
    if (words.size() == 2 && words[1] == "records") {
        FILE* f = os::fopen(SEL_RECORDS_PATH, "r");
        if (f == nullptr) {
            std::printf("no records\n");
            return 0;
        }
        struct {
            SelStoredHead head;
            uint8_t data[48];
        } r{};
        while (std::fread(&r, sizeof r, 1, f) == 1) {
            sel_print_record(&r.head);
            print_record_data(r.head, r.data);
        }
        os::fclose(f);
        return 0;
    }
    std::fprintf(stderr, "kmb-agent: the SEL is read with: sel info | sel records\n");
    return 2;
}

} // namespace

int agent_client(const std::vector<std::string>& words, int reply_key)
{
    if (words.empty()) {
        std::fprintf(stderr, "kmb-agent: no request given; try kmb-agent --help\n");
        return 2;
    }
    if (words[0] == "lm77") {
        return lm77_command(words, reply_key);
    }
    if (words[0] == "sel") {
        return sel_command(words);
    }
    return agent_command(words, reply_key);
}

void print_agent_commands()
{
    // Wrapped as --help's other lines are, within 80 columns.
    constexpr std::size_t kWidth = 78;
    std::printf("\nAgent commands (COMMAND):\n");
    std::size_t column = 0;
    for (const AgentCmd* row = agent_builtin_cmds(); row->name != nullptr; ++row) {
        const std::size_t length = std::strlen(row->name);
        if (column > 0 && column + 1 + length > kWidth) {
            std::printf("\n");
            column = 0;
        }
        column += static_cast<std::size_t>(std::printf(column == 0 ? "  %s" : " %s", row->name));
    }
    std::printf("\n");
}

} // namespace kmb::tools
