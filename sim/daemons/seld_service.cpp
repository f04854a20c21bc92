#include "sim/daemons/seld_service.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/msg.h>
#include <syslog.h>

#include "devices/log.h"
#include "ipc/msg_queue.h"
#include "os/os.h"
#include "sim/daemons/daemon_voice.h"
#include "sim/daemons/pid_file.h"

namespace kmb {

namespace {

// The largest request a queue takes on the card's kernel (msgmax).
constexpr int kMaxRequest = 8192;

// Waits for the summary's lock grow from this to that, so a long wait lets card time pass.
constexpr useconds_t kLockFirstPauseUs = 10;
constexpr useconds_t kLockMostPauseUs = 10'000;
// A lock file that names no holder is taken over once it has stayed this long.
constexpr int64_t kNamelessLockUs = 2'000'000;

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

// The next record ID; IDs go round to 1 after the largest, as a counter that runs for years must.
int32_t after(int32_t id) { return id >= INT32_MAX || id < 1 ? 1 : id + 1; }

int32_t plus_one(int32_t count) { return count >= INT32_MAX ? INT32_MAX : count + 1; }

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
        s->clears = plus_one(s->clears);
    }
    for (const SelRecord& r : request.records) {
        StoredRecord stored{{s->next_id, r.timestamp, r.severity, r.event_type}, {}};
        std::memcpy(stored.event_data, r.event_data, sizeof stored.event_data);
        ok = ok && std::fwrite(&stored, sizeof stored, 1, f) == 1;
        s->next_id = after(s->next_id);
        s->records = plus_one(s->records);
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

bool seld_summary_sane(const SelSummary& s)
{
    return s.records >= 0 && s.next_id >= 1 && s.worst >= 0 && s.clears >= 0;
}

SelSummary seld_summary_from_records()
{
    SelSummary s;
    FILE* f = os::fopen(SEL_RECORDS_PATH, "r");
    if (f == nullptr) {
        return s;
    }
    StoredRecord r{};
    while (std::fread(&r, sizeof r, 1, f) == 1) {
        s.records = plus_one(s.records);
        s.next_id = after(r.head.record_id);
        s.newest = r.head.timestamp;
        s.worst = r.head.severity > s.worst ? r.head.severity : s.worst;
    }
    os::fclose(f);
    return s;
}

SelSummary seld_load_summary()
{
    FILE* f = os::fopen(SEL_INFO_PATH, "r");
    if (f == nullptr) {
        return seld_summary_from_records();
    }
    // Read as any outside text is: five numbers that fit their fields, and nothing after them.
    char text[128] = {};
    const std::size_t got = std::fread(text, 1, sizeof text - 1, f);
    const bool whole = std::feof(f) != 0;
    os::fclose(f);
    SelSummary read;
    int32_t* fields[] = {&read.records, &read.next_id, &read.newest, &read.worst, &read.clears};
    const char* at = text;
    bool ok = whole && got > 0;
    for (int32_t* field : fields) {
        char* end = nullptr;
        errno = 0;
        const long long v = ok ? std::strtoll(at, &end, 10) : 0;
        ok = ok && end != at && errno == 0 && v >= INT32_MIN && v <= INT32_MAX;
        *field = static_cast<int32_t>(v);
        at = ok ? end : at;
    }
    while (ok && (*at == ' ' || *at == '\n' || *at == '\t')) {
        ++at;
    }
    if (ok && *at == '\0' && seld_summary_sane(read)) {
        return read;
    }
    log_msg(LOG_ERR, "seld: summary %s garbled; made again from %s", SEL_INFO_PATH, SEL_RECORDS_PATH);
    return seld_summary_from_records();
}

int seld_lock(const volatile sig_atomic_t* stop)
{
    useconds_t pause = kLockFirstPauseUs;
    int64_t waited_nameless = 0;
    while (true) {
        const int fd = os::open(SEL_LOCK_INFO, O_RDWR | O_CREAT | O_EXCL, 0444);
        if (fd >= 0) {
            char text[16];
            const int len = std::snprintf(text, sizeof text, "%d\n", static_cast<int>(os::getpid()));
            os::write(fd, text, static_cast<size_t>(len));
            os::close(fd);
            return 0;
        }
        if (errno != EEXIST) {
            return SEL_ERR_LOCK;
        }
        const pid_t holder = pid_file_holder(SEL_LOCK_INFO);
        if (holder != 0 && !process_alive(holder)) {
            log_msg(LOG_WARNING, "seld: %s left by process %d, which is gone; taken over", SEL_LOCK_INFO,
                    static_cast<int>(holder));
            os::unlink(SEL_LOCK_INFO);
            continue;
        }
        if (holder == 0 && waited_nameless >= kNamelessLockUs) {
            log_msg(LOG_WARNING, "seld: %s names no holder and stayed %d s; taken over", SEL_LOCK_INFO,
                    static_cast<int>(kNamelessLockUs / 1'000'000));
            os::unlink(SEL_LOCK_INFO);
            waited_nameless = 0;
            continue;
        }
        if (stop != nullptr && *stop != 0) {
            return SEL_ERR_LOCK;
        }
        os::usleep(pause);
        waited_nameless = holder == 0 ? waited_nameless + pause : 0;
        pause = pause < kLockMostPauseUs / 2 ? pause * 2 : kLockMostPauseUs;
    }
}

int seld_apply(const SelDecoded& request, SelSummary* summary, const volatile sig_atomic_t* stop)
{
    if (seld_lock(stop) != 0) {
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
    if (!daemon_start("seld", IPC_KEY_SELD, SELD_PID_FILE)) {
        return 1;
    }
    int id = ipc_queue_id(IPC_KEY_SELD, 0);
    auto* buf = static_cast<uint8_t*>(std::calloc(1, sizeof(long) + kMaxRequest));
    if (id < 0 || buf == nullptr) {
        daemon_say(LOG_ERR, "cannot have queue %d: %s", IPC_KEY_SELD, std::strerror(errno));
        std::free(buf);
        pid_file_release(SELD_PID_FILE);
        return 1;
    }
    SelSummary summary = seld_load_summary();
    int rc = 0;
    while (id >= 0) {
        // Once told to stop, take what is already waiting and go.
        const int flags = MSG_NOERROR | (*stop != 0 ? IPC_NOWAIT : 0);
        const ssize_t n = os::msgrcv(id, buf, kMaxRequest, 0, flags);
        if (n < 0) {
            const int why = errno;
            if (why == EINTR) {
                continue;
            }
            if (why == ENOMSG) {
                break;
            }
            if (ipc_queue_gone(why)) {
                daemon_say(LOG_WARNING, "queue %d was removed under the daemon; made again", IPC_KEY_SELD);
                ipc_queue_forget(IPC_KEY_SELD);
                id = ipc_queue_id(IPC_KEY_SELD, 0);
                if (id < 0) {
                    daemon_say(LOG_ERR, "cannot have queue %d: %s", IPC_KEY_SELD, std::strerror(errno));
                    rc = 1;
                }
                continue;
            }
            daemon_say(LOG_ERR, "cannot receive on queue %d: %s", IPC_KEY_SELD, std::strerror(why));
            rc = 1;
            break;
        }
        SelDecoded request;
        if (seld_decode(buf, static_cast<int>(n), &request) != 0) {
            log_msg(LOG_ERR, "seld: dropped a malformed request of %d bytes", static_cast<int>(n));
            continue;
        }
        seld_apply(request, &summary, stop);
    }
    std::free(buf);
    pid_file_release(SELD_PID_FILE);
    return rc;
}

} // namespace kmb
