// The host agent's vocabulary: its event tables (one per host platform, picked by agent ID),
// the texts of its command status, the names of its IDs, NMI sources and info-register bits,
// and the printers that turn its data into operator or log text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kmb {

// Agent IDs of the two host platforms.
inline constexpr uint8_t AGENT_ID_VALDOR = 0x86;
inline constexpr uint8_t AGENT_ID_TAMBER = 0x99;

// One row of an event table, 32 bytes as stored. A table ends with a row whose name begins
// with a NUL byte.
struct AgentEvent {
    char name[20];     // NUL-padded; short names carry blanks to 8 characters
    uint16_t event_id; // at most 0xFFF
    uint16_t zero;
    int32_t severity;
    uint8_t current;   // 1 asserted, 0 deasserted; follows the FIFO entries
    uint8_t normal;    // the state when all is well
    uint8_t zero2[2];
};
static_assert(sizeof(AgentEvent) == 32);
static_assert(offsetof(AgentEvent, event_id) == 20 && offsetof(AgentEvent, severity) == 24);
static_assert(offsetof(AgentEvent, current) == 28 && offsetof(AgentEvent, normal) == 29);

// The two tables, each with its terminating row; rows start deasserted. Per process, changed
// by the event handler as entries arrive.
AgentEvent* agent_tamber_events();
AgentEvent* agent_valdor_events();
// Rows before the terminating one.
int agent_event_count(const AgentEvent* table);

// Writes the ID's name, cut to `size` - 1 characters; returns the length written.
int agent_id_name(int agent_id, char* buf, int size);
// The text of a command status byte, or nullptr above 4.
const char* agent_cmd_status_text(int status);

void agent_print_error(int code);
void agent_print_cmd_status(int status);
void agent_print_nmi_src(int source);
void agent_print_info_reg(int agent_id, int reg, int value);
// Log lines at priority 7.
void agent_print_info(const uint8_t* info);
void agent_print_sel_record(const void* record);
void agent_print_event_list(const AgentEvent* table);

} // namespace kmb
