// The system event log's client. The log belongs to the SEL daemon (queue 7); producers send
// it event records, and anyone may read its summary file under the lock file it shares with
// the daemon.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipc/msg_header.h"

namespace kmb {

// One event as a producer submits it: 60 bytes, words in the machine's byte order.
struct SelRecord {
    int32_t timestamp;  // seconds since the epoch
    int32_t severity;
    int32_t event_type;
    uint8_t event_data[48]; // by event type; what a producer does not fill is zero
};
static_assert(sizeof(SelRecord) == 60);
static_assert(offsetof(SelRecord, event_data) == 12);

// Event types of the card's producers.
inline constexpr int32_t SEL_TYPE_CODED = 0;       // sel_log_event
inline constexpr int32_t SEL_TYPE_AGENT_EVENT = 1; // a host agent FIFO entry
inline constexpr int32_t SEL_TYPE_AGENT_ERROR = 2; // a host agent command or access failure
inline constexpr int32_t SEL_TYPE_LM77_ZONE = 5;   // the LM77 changed zone

// The request to the SEL daemon: the common head, a record count (-1: clear the log) and the
// records. A request always has room for at least one record.
struct SelRequest {
    MsgHeader head; // mtype 1 (0x8000 for a coded event of severity 4), class 6
    int32_t record_count;
    SelRecord records[1];
};
static_assert(offsetof(SelRequest, record_count) - sizeof(long) == 16);
static_assert(offsetof(SelRequest, records) - sizeof(long) == 20);
static_assert(sizeof(long) != 4 || sizeof(SelRequest) == 84, "the card's one-record request is 84 bytes");
// A one-record request is handed to the queue with the length 80 on every build.
static_assert(offsetof(SelRequest, records) + sizeof(SelRecord) - sizeof(long) == 80);

inline constexpr long SEL_MTYPE = 1;
inline constexpr long SEL_MTYPE_SEVERITY4 = 0x8000;
inline constexpr int32_t SEL_CLEAR = -1;
// The request's size on the card for `record_count` records; `length` is this less 4.
int sel_request_size(int record_count);

// The head of a record as the daemon stores it.
struct SelStoredHead {
    int32_t record_id;
    int32_t timestamp;
    int32_t severity;
    int32_t event_type;
};

// The summary file's five numbers; their meaning is the daemon's.
struct SelInfo {
    int32_t fields[5];
};

inline constexpr const char* SEL_INFO_PATH = "/mnt/logs/sel/sel.inf";
inline constexpr const char* SEL_LOCK_INFO = "/halvex/run/selinf.lck";

// Result codes of the summary reader (the system-wide error codes' numbers).
inline constexpr int SEL_ERR_OPEN = 4;
inline constexpr int SEL_ERR_LOCK = 6;

// Sends one request with `record_count` records copied from `records`; 0, or -1 (logged).
int sel_send(long mtype, int record_count, const SelRecord* records);
// One text event of severity 1: the user's login name and at most 39 characters of `text`.
int sel_log_text(int event_type, const char* text);
// One coded event of type 0 carrying `code`.
int sel_log_event(int code, int severity);
int sel_clear();

// Reads the summary under the lock: 0, 6 when the lock cannot be taken, 4 when the file cannot
// be opened (the fields are then left as they were).
int sel_get_info(SelInfo* info);
// Takes a lock file, waiting as long as another holder keeps it: 0, or 6 on any other error.
int sel_lock(const char* path);
int sel_unlock(const char* path);
// Prints the head of a stored record; nothing for no record. Always 0.
int sel_print_record(const SelStoredHead* record);

} // namespace kmb
