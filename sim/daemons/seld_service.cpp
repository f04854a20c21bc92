#include "sim/daemons/seld_service.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/msg.h>
#include <syslog.h>

#include "devices/log.h"
#include "ipc/msg_queue.h"
#include "os/os.h"

namespace kmb {

namespace {

// The largest request a queue takes on the card's kernel (msgmax).
constexpr int kMaxRequest = 8192;

struct StoredRecord {
    SelStoredHead head;
    uint8_t event_data[48];
};
static_assert(sizeof(StoredRecord) == 64);

bool write_summary(const SelSummary& s)
{
    FILE* f = os::fopen(SEL_INFO_PATH, "w");
    if (f == nullptr) {
        return false;
    }
    std::fprintf(f, "%d %d %d %d %d\n", s.records, s.next_id, s.newest, s.worst, s.clears);
    return os::fclose(f) == 0;
}

bool store(const SelDecoded& request, SelSummary* s)
{
    FILE* f = os::fopen(SEL_RECORDS_PATH, request.clear ? "w" : "a");
    if (f == nullptr) {
        return false;
    }
    bool ok = true;
    if (request.clear) {
        s->records = 0;
        s->worst = 0;
        ++s->clears;
    }
    for (const SelRecord& r : request.records) {
        StoredRecord stored{{s->next_id, r.timestamp, r.severity, r.event_type}, {}};
        std::memcpy(stored.event_data, r.event_data, sizeof stored.event_data);
        ok = ok && std::fwrite(&stored, sizeof stored, 1, f) == 1;
        ++s->next_id;
        ++s->records;
        s->newest = r.timestamp;
        s->worst = r.severity > s->worst ? r.severity : s->worst;
    }
    return os::fclose(f) == 0 && ok;
}

} // namespace

int seld_decode(const void* msg, int n, SelDecoded* out)
{
    constexpr int kHead = static_cast<int>(offsetof(SelRequest, records) - sizeof(long));
    if (n < static_cast<int>(MSG_HEAD_AFTER_TYPE)) {
        return -2;
    }
    const auto* req = static_cast<const SelRequest*>(msg);
    if (req->head.msg_class != MSG_CLASS_SEL) {
        return -1;
    }
    if (n < kHead) {
        return -2;
    }
    const int count = req->record_count;
    if (count < SEL_CLEAR || (count > 0 && count > (n - kHead) / static_cast<int>(sizeof(SelRecord)))) {
        return -3;
    }
    out->mtype = req->head.mtype;
    out->clear = count == SEL_CLEAR;
    out->records.assign(req->records, req->records + (count > 0 ? count : 0));
    return 0;
}

SelSummary seld_load_summary()
{
    SelSummary s;
    FILE* f = os::fopen(SEL_INFO_PATH, "r");
    if (f == nullptr) {
        return s;
    }
    SelSummary read;
    const int got = std::fscanf(f, "%d %d %d %d %d", &read.records, &read.next_id, &read.newest, &read.worst,
                                &read.clears);
    os::fclose(f);
    if (got == 5 && read.records >= 0 && read.next_id > read.records && read.clears >= 0) {
        s = read;
    }
    return s;
}

int seld_apply(const SelDecoded& request, SelSummary* summary)
{
    if (sel_lock(SEL_LOCK_INFO) != 0) {
        log_msg(LOG_ERR, "seld: Fail to get SEL_LOCK_INFO");
        return -1;
    }
    const bool ok = store(request, summary) && write_summary(*summary);
    sel_unlock(SEL_LOCK_INFO);
    if (!ok) {
        log_msg(LOG_ERR, "seld: Error writing %s", SEL_RECORDS_PATH);
    }
    return ok ? 0 : -1;
}

int seld_run(const volatile sig_atomic_t* stop)
{
    const int id = ipc_queue_id(IPC_KEY_SELD, 0);
    auto* buf = static_cast<uint8_t*>(std::calloc(1, sizeof(long) + kMaxRequest));
    if (id < 0 || buf == nullptr) {
        std::free(buf);
        return 1;
    }
    SelSummary summary = seld_load_summary();
    int rc = 0;
    while (true) {
        // Once told to stop, take what is already waiting and go.
        const int flags = MSG_NOERROR | (*stop != 0 ? IPC_NOWAIT : 0);
        const ssize_t n = os::msgrcv(id, buf, kMaxRequest, 0, flags);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            rc = errno == ENOMSG ? 0 : 1;
            break;
        }
        SelDecoded request;
        if (seld_decode(buf, static_cast<int>(n), &request) != 0) {
            log_msg(LOG_ERR, "seld: dropped a malformed request of %d bytes", static_cast<int>(n));
            continue;
        }
        seld_apply(request, &summary);
    }
    std::free(buf);
    return rc;
}

} // namespace kmb
