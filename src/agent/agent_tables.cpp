#include "agent/agent_tables.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <syslog.h>
#include <unistd.h>

#include "devices/error_codes.h"
#include "devices/log.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr int kSeverity = 2;
constexpr int kWatchdogSeverity = 3;

// A row: the normal state is 1 for the signals that are asserted when all is well.
constexpr AgentEvent row(const char* name, uint16_t id, uint8_t normal = 0, int32_t severity = kSeverity)
{
    AgentEvent e{};
    for (int i = 0; i < 19 && name[i] != '\0'; ++i) {
        e.name[i] = name[i];
    }
    e.event_id = id;
    e.severity = severity;
    e.normal = normal;
    return e;
}

constexpr uint8_t OK = 1; // marks the rows whose signal is asserted when all is well

AgentEvent g_tamber[] = {
    row("PS2_AC_OK", 0x01, OK),      row("PS2_12V_OK", 0x02, OK),    row("PS2_5V_OK", 0x03, OK),
    row("PS1_AC_OK", 0x04, OK),      row("PS1_12V_OK", 0x05, OK),    row("PS1_5V_OK", 0x06, OK),
    row("CPU_THERM_INT", 0x07),      row("SYS_MON_INT", 0x08),       row("GIGE2_2V5A_OK", 0x09, OK),
    row("GIGE2_2V5B_OK", 0x0A, OK),  row("GIGE2_1V5_OK", 0x0B, OK),  row("ISP2_CORE_OK", 0x0C, OK),
    row("VTT_OK  ", 0x0D, OK),       row("GIGE1_2V5A_OK", 0x0E, OK), row("GIGE1_2V5B_OK", 0x0F, OK),
    row("GIGE1_1V5_OK", 0x10, OK),   row("ISP1_CORE_OK", 0x11, OK),  row("SYS_5V_OK", 0x12, OK),
    row("VRM2_PWRGD", 0x13, OK),     row("VRM1_PWRGD", 0x14, OK),    row("THERM_EN", 0x15, OK),
    row("FAN_ALERT1", 0x16),         row("FAN_ALERT2", 0x17),        row("LCD_NMI_IN", 0x18),
    row("PS1_PRSNT", 0x19, OK),      row("PS2_PRSNT", 0x1A, OK),     row("MP_INT_2", 0x1B),
    row("MP_INT_1", 0x1C),           row("PS1_INT ", 0x1D),          row("PS2_INT ", 0x1E),
    row("L2_WD_TIMEOUT", 0xFFE, 0, kWatchdogSeverity), row("L1_WD_TIMEOUT", 0xFFF),
    AgentEvent{},
};
static_assert(std::size(g_tamber) == 33);

AgentEvent g_valdor[] = {
    row("POW1_FAIL", 0x01),          row("POW2_FAIL", 0x02),         row("P0_THRMTRP", 0x03),
    row("P1_THRMTRP", 0x04),         row("P2_THRMTRP", 0x05),        row("P3_THRMTRP", 0x06),
    row("HTLE0_ALERT", 0x09),        row("HTLE1_ALERT", 0x0A),       row("HTLE2_ALERT", 0x0B),
    row("HTLE3_ALERT", 0x0C),        row("HTLE0_FATAL", 0x0D),       row("HTLE1_FATAL", 0x0E),
    row("HTLE2_FATAL", 0x0F),        row("HTLE3_FATAL", 0x10),       row("HTLE2_PCIX_SERR", 0x11),
    row("HTLE3_PCIX_SERR", 0x12),    row("HTLE2_PCIX_PERR", 0x13),   row("HTLE3_PCIX_PERR", 0x14),
    row("FPB_TEMP_IRQ", 0x19),       row("PCISLT_TEMP_IRQ", 0x1A),   row("P01_TEMP_IRQ", 0x1B),
    row("P23_TEMP_IRQ", 0x1C),       row("FAN135_TACH_IRQ", 0x1D),   row("FAN024_TACH_IRQ", 0x1E),
    row("FAN68_TACH_IRQ", 0x1F),     row("FAN79_TACH_IRQ", 0x20),    row("IOB_VOLT_IRQ", 0x21),
    row("FCB_VOLT_IRQ", 0x22),       row("CPUB_VOLT1_IRQ", 0x23),    row("CPUB_VOLT2_IRQ", 0x24),
    row("CPUB_VOLT3_IRQ", 0x25),     row("CPUB_VOLT4_IRQ", 0x26),    row("KMB_33V_IRQ", 0x27),
    row("POW1_IRQ", 0x29),           row("POW2_IRQ", 0x2A),          row("FAN0_PRSNT", 0x2C, OK),
    row("FAN1_PRSNT", 0x2D, OK),     row("FAN2_PRSNT", 0x2E, OK),    row("FAN3_PRSNT", 0x2F, OK),
    row("FAN4_PRSNT", 0x30, OK),     row("POW1_PS_ON", 0x31, OK),    row("POW1_AC_OK", 0x32, OK),
    row("POW1_GOOD", 0x33, OK),      row("POW1_PRSNT", 0x34, OK),    row("POW2_PS_ON", 0x35, OK),
    row("POW2_AC_OK", 0x36, OK),     row("POW2_GOOD", 0x37, OK),     row("POW2_PRSNT", 0x38, OK),
    row("PIC_RST ", 0x39),           row("RST_BNT ", 0x3B),          row("VOL_MARGIN_RUN", 0x3D),
    row("VOL_WDT_RUNOUT", 0x3E, OK), row("PWR_OK  ", 0x3F, OK),      row("CPU_HTLE_RESET", 0x40, OK),
    row("SB1_RESET", 0x41),          row("PCI3_RESET", 0x42),        row("FC_RESET", 0x43),
    row("PWR_SEQ_ERR", 0x46),        row("PWR_FAIL", 0x47),          row("PCI_PWR_FAIL", 0x48),
    row("DUMP_SW ", 0x49),           row("WDT_NMI ", 0x4A),          row("APPL_NMI", 0x4B),
    row("WDT_RESET", 0x4F),          row("WDT_RST_SIG", 0x50),
    AgentEvent{},
};
static_assert(std::size(g_valdor) == 66);

constexpr const char* kStatusTexts[] = {
    "Command completed successfully", "Command in process", "Illegal command",
    "Command byte transmission error", "Parameter byte transmission error",
};

constexpr const char* kNmiSources[] = {"Appliance", "Watchdog", "KMB", "FP button"};

constexpr const char* kInfoRegBits[2][8] = {
    {"VID_OK      ", "DDR_VDDID   ", "SKT2_OCC_L  ", "SKT1_OCC_L  ", "VRM2_PRES_L ", "VRM1_PRES_L ", "KMB_PRES_L  ",
     "WDT_CLEAR_L "},
    {"AGENT_JMPR_L", "POST_CLK    "},
};

} // namespace

AgentEvent* agent_tamber_events() { return g_tamber; }
AgentEvent* agent_valdor_events() { return g_valdor; }

int agent_event_count(const AgentEvent* table)
{
    int n = 0;
    while (table != nullptr && table[n].name[0] != '\0') {
        ++n;
    }
    return n;
}

int agent_id_name(int agent_id, char* buf, int size)
{
    if (buf == nullptr || size <= 0) {
        return 0;
    }
    if (agent_id == AGENT_ID_VALDOR) {
        std::snprintf(buf, static_cast<std::size_t>(size), "%s", "Valdor");
    } else if (agent_id == AGENT_ID_TAMBER) {
        std::snprintf(buf, static_cast<std::size_t>(size), "%s", "Tamber");
    } else {
        std::snprintf(buf, static_cast<std::size_t>(size), "Unknown id 0x%02x", agent_id);
    }
    return static_cast<int>(std::strlen(buf));
}

const char* agent_cmd_status_text(int status)
{
    return status >= 0 && status < static_cast<int>(std::size(kStatusTexts)) ? kStatusTexts[status] : nullptr;
}

void agent_print_error(int code)
{
    if (code >= ERR_NONE && code <= ERR_CHECKSUM) {
        std::printf("%s. ", error_text(code));
    } else {
        std::printf("Unknown error 0x%02x. ", code);
    }
}

void agent_print_cmd_status(int status)
{
    if (status == 0) {
        return;
    }
    std::printf("Command status 0x%02x: ", status);
    const char* text = agent_cmd_status_text(status);
    if (text != nullptr) {
        std::printf("%s.", text);
    } else {
        std::printf("Unknown.");
    }
}

void agent_print_nmi_src(int source)
{
    if (source == 0) {
        std::puts("No NMI");
        return;
    }
    for (int bit = 0; bit < 4; ++bit) {
        if ((source & (1 << bit)) != 0) {
            std::puts(kNmiSources[bit]);
        }
    }
}

void agent_print_info_reg(int agent_id, int reg, int value)
{
    std::printf("Info reg %d: 0x%02x\n", reg, value);
    if (agent_id != AGENT_ID_TAMBER) {
        std::puts("Don't know how to decode");
        return;
    }
    if (reg != 0 && reg != 1) {
        std::puts("Invalid register");
        return;
    }
    const int bits = reg == 0 ? 8 : 2;
    for (int bit = 0; bit < bits; ++bit) {
        std::printf("   %s: %s\n", kInfoRegBits[reg][bit], (value & (1 << bit)) != 0 ? "1" : "0");
    }
}

void agent_print_info(const uint8_t* info)
{
    log_msg(LOG_DEBUG, "PID: %d, agent_info addr: %ld\n", static_cast<int>(os::getpid()),
            static_cast<long>(reinterpret_cast<intptr_t>(info)));
    log_msg(LOG_DEBUG, "\nAgent info:\n");
    log_msg(LOG_DEBUG, "Info record format: 0x%02x\n", info[0]);
    log_msg(LOG_DEBUG, "Agent ID: 0x%02x\n", info[1]);
    log_msg(LOG_DEBUG, "Agent revision: 0x%02x\n", info[2]);
    log_msg(LOG_DEBUG, "FIFO depth max: 0x%02x\n", info[3]);
    log_msg(LOG_DEBUG, "Ring depth: 0x%02x\n", info[4]);
    log_msg(LOG_DEBUG, "PS count: 0x%02x\n", info[5]);
}

void agent_print_sel_record(const void* record)
{
    const auto* bytes = static_cast<const uint8_t*>(record);
    int32_t words[3];
    std::memcpy(words, bytes, sizeof words);
    uint16_t rec = 0;
    std::memcpy(&rec, bytes + 14, sizeof rec);
    log_msg(LOG_DEBUG, "\nAgent sel log:\n");
    log_msg(LOG_DEBUG, "Timestamp: %d\n", words[0]);
    log_msg(LOG_DEBUG, "Severity: %d\n", words[1]);
    log_msg(LOG_DEBUG, "Type: %d\n", words[2]);
    log_msg(LOG_DEBUG, "Agent ID: 0x%02x\n", bytes[12]);
    log_msg(LOG_DEBUG, "Event rec: 0x%04x\n", rec);
}

void agent_print_event_list(const AgentEvent* table)
{
    log_msg(LOG_DEBUG, "EventID Sev A/D Desc\n");
    for (int i = 0; i < agent_event_count(table); ++i) {
        log_msg(LOG_DEBUG, "0x%02x    %d   %d   %s\n", table[i].event_id, table[i].severity, table[i].current,
                table[i].name);
    }
}

} // namespace kmb
