// The system event log daemon, as small as the card's libraries need it: it takes requests off
// queue 7, keeps the records in /mnt/logs/sel/sel.rec and their summary in sel.inf, under the
// lock file that readers share.
#pragma once

#include <csignal>
#include <cstdint>
#include <vector>

#include "ipc/sel.h"

namespace kmb {

inline constexpr const char* SEL_RECORDS_PATH = "/mnt/logs/sel/sel.rec";
// Where the serving daemon keeps its process ID on the card.
inline constexpr const char* SELD_PID_FILE = "/var/run/seld.pid";

// A request as received: `n` bytes after mtype.
struct SelDecoded {
    long mtype = 0;
    bool clear = false;
    std::vector<SelRecord> records;
};
// 0, or -1 not a SEL request, -2 shorter than its head, -3 a count that its size does not hold.
int seld_decode(const void* msg, int n, SelDecoded* out);

// The summary's five numbers, in the file's order.
struct SelSummary {
    int32_t records = 0;     // records held
    int32_t next_id = 1;     // the ID the next record gets
    int32_t newest = 0;      // timestamp of the newest record
    int32_t worst = 0;       // highest severity held
    int32_t clears = 0;      // clears since the log was made
};

// Stores one decoded request and rewrites the summary under the lock; 0, or -1 when the log
// cannot be written or `stop` was set while the lock was waited for. Record IDs go round to 1
// after the largest; the counts stop at it.
int seld_apply(const SelDecoded& request, SelSummary* summary, const volatile sig_atomic_t* stop = nullptr);
// The summary the card kept, read as outside input: five numbers that fit their fields, with
// no negative count. One that is missing or garbled is made again from the stored records
// (logged when garbled).
SelSummary seld_load_summary();
bool seld_summary_sane(const SelSummary& s);
SelSummary seld_summary_from_records();

// Takes the summary's lock as the readers do, and as a daemon that never restarts must: a lock
// left by a process that is gone is taken over, one that names nobody after 2 s of card time,
// the waits grow to 10 ms, and `stop` ends the wait (6).
int seld_lock(const volatile sig_atomic_t* stop);

// Serves queue 7 until `stop` is set (a signal), then takes what is still waiting and returns
// 0; 1 when the queue is lost.
int seld_run(const volatile sig_atomic_t* stop);

} // namespace kmb
