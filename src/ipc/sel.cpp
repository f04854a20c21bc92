#include "ipc/sel.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <syslog.h>

#include "devices/log.h"
#include "ipc/msg_queue.h"
#include "os/os.h"

namespace kmb {

namespace {

// Where a text event keeps the user's name and the text, in its event data.
constexpr std::size_t kUserOffset = 0;
constexpr std::size_t kUserMax = 7;
constexpr std::size_t kTextOffset = 8;
constexpr std::size_t kTextMax = 39;

constexpr int kMaxRecords = (INT_MAX - 24) / static_cast<int>(sizeof(SelRecord));

SelRecord new_record(int severity, int event_type)
{
    SelRecord r{};
    r.timestamp = static_cast<int32_t>(os::time(nullptr));
    r.severity = severity;
    r.event_type = event_type;
    return r;
}

void copy_cut(uint8_t* to, const char* text, std::size_t most)
{
    if (text != nullptr) {
        std::memcpy(to, text, strnlen(text, most));
    }
}

} // namespace

int sel_request_size(int record_count)
{
    return record_count >= 1 ? record_count * static_cast<int>(sizeof(SelRecord)) + 24 : 84;
}

int sel_send(long mtype, int record_count, const SelRecord* records)
{
    if (record_count > kMaxRecords) {
        return -1; // no queue would take it, and its size would not fit the length word
    }
    const int size = sel_request_size(record_count);
    const int length = size - 4; // the bytes after the card's 4-byte mtype
    auto* msg = static_cast<SelRequest*>(std::calloc(1, sizeof(long) + static_cast<std::size_t>(length)));
    if (msg == nullptr) {
        return -1;
    }
    msg->record_count = record_count;
    if (record_count >= 1 && records != nullptr) {
        std::memcpy(msg->records, records, static_cast<std::size_t>(record_count) * sizeof(SelRecord));
    }
    msg->head.mtype = mtype;
    msg->head.msg_class = MSG_CLASS_SEL;
    msg->head.word2 = 0;
    msg->head.word3 = 0;
    msg->head.length = length;
    const int rc = ipc_send_to(IPC_KEY_SELD, &msg->head);
    if (rc != 0) {
        log_msg(LOG_ERR, "Fail to send msg to seld");
    }
    std::free(msg);
    return rc == 0 ? 0 : -1;
}

int sel_log_text(int event_type, const char* text)
{
    SelRecord r = new_record(1, event_type);
    copy_cut(r.event_data + kTextOffset, text, kTextMax);
    char user[L_cuserid] = {};
    copy_cut(r.event_data + kUserOffset, os::cuserid(user), kUserMax);
    return sel_send(SEL_MTYPE, 1, &r) == 0 ? 0 : -1;
}

int sel_log_event(int code, int severity)
{
    SelRecord r = new_record(severity, SEL_TYPE_CODED);
    const int32_t c = code;
    std::memcpy(r.event_data, &c, sizeof c);
    return sel_send(severity == 4 ? SEL_MTYPE_SEVERITY4 : SEL_MTYPE, 1, &r) == 0 ? 0 : -1;
}

int sel_clear()
{
    log_msg(LOG_WARNING, "Clear SEL");
    return sel_send(SEL_MTYPE, SEL_CLEAR, nullptr);
}

int sel_lock(const char* path)
{
    while (true) {
        const int fd = os::open(path, O_RDWR | O_CREAT | O_EXCL, 0444);
        if (fd >= 0) {
            // The holder's ID, for whoever finds the lock left behind.
            char holder[16];
            const int len = std::snprintf(holder, sizeof holder, "%d\n", static_cast<int>(os::getpid()));
            os::write(fd, holder, static_cast<size_t>(len));
            os::close(fd);
            return 0;
        }
        if (errno != EEXIST) {
            return SEL_ERR_LOCK;
        }
        os::usleep(10);
    }
}

int sel_unlock(const char* path)
{
    os::unlink(path);
    return 0;
}

int sel_get_info(SelInfo* info)
{
    if (sel_lock(SEL_LOCK_INFO) != 0) {
        log_msg(LOG_ERR, "sel_get_info: Fail to get SEL_LOCK_INFO");
        return SEL_ERR_LOCK;
    }
    FILE* f = os::fopen(SEL_INFO_PATH, "r");
    if (f == nullptr) {
        log_msg(LOG_ERR, "Error open %s for read", SEL_INFO_PATH);
        sel_unlock(SEL_LOCK_INFO);
        return SEL_ERR_OPEN;
    }
    int32_t* v = info->fields;
    // A short or garbled summary fills what it holds; the other fields keep their values.
    const int filled = std::fscanf(f, "%d %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4]);
    (void)filled;
    os::fclose(f);
    sel_unlock(SEL_LOCK_INFO);
    return 0;
}

int sel_print_record(const SelStoredHead* record)
{
    if (record == nullptr) {
        return 0;
    }
    std::printf("\nRecord ID: %d\n", record->record_id);
    std::printf("Timestamp: 0x%x\n", static_cast<unsigned>(record->timestamp));
    std::printf("Severity: %d\n", record->severity);
    std::printf("Event type: %d\n", record->event_type);
    return 0;
}

} // namespace kmb
