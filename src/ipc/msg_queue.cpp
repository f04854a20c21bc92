#include "ipc/msg_queue.h"

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <sys/ipc.h>
#include <sys/msg.h>

#include "os/os.h"

namespace kmb {

namespace {

// One entry per key 0 to 22; -1 until a lookup found the queue. An entry is dropped when its
// queue is removed here or is found gone, so that a queue made again is found again.
struct QueueCache {
    bool set_up = false;
    int32_t ids[IPC_MAX_KEY + 1];
};

QueueCache& cache()
{
    static QueueCache c;
    if (!c.set_up) {
        for (int32_t& id : c.ids) {
            id = -1;
        }
        c.set_up = true;
    }
    return c;
}

constexpr const char* kDaemonNames[IPC_MAX_KEY + 1] = {
    nullptr,   "relayd", "watchd",  "hostmond", "agentd",  "lm77d",   "cfgd",   "seld",
    "timed",   "logd",   "fand",    "powerd",   "ledd",    "webd",    "clid",   "eventd",
    "alertd",  "updated", "sensord", "fwd",     "kmbmgr",  "testd",   "spare22",
};
static_assert(std::size(kDaemonNames) == IPC_MAX_KEY + 1);

bool stat_queue(int id, msqid_ds& ds) { return os::msgctl(id, IPC_STAT, &ds) == 0; }

int g_send_patience_ms = -1;
// A send that waits for room looks again this often, in card time.
constexpr int kSendPollMs = 10;

// msgsnd that waits for room at most the send patience; the wait is the card's, so a card at
// speed 0 lets no wall time pass.
int send_waiting(int id, MsgHeader* msg)
{
    if (g_send_patience_ms < 0) {
        return kmb_sendmsgq(id, msg, 0);
    }
    for (int waited = 0;; waited += kSendPollMs) {
        if (kmb_sendmsgq(id, msg, IPC_NOWAIT) == 0) {
            return 0;
        }
        if (errno != EAGAIN || waited >= g_send_patience_ms) {
            return -1;
        }
        os::usleep(kSendPollMs * 1000);
        errno = EAGAIN;
    }
}

} // namespace

int ipc_queue_id(int key, int flags)
{
    QueueCache& c = cache();
    if (static_cast<unsigned>(key) > static_cast<unsigned>(IPC_MAX_KEY)) {
        return -1;
    }
    if (c.ids[key] >= 0) {
        return c.ids[key];
    }
    const int id = os::msgget(static_cast<key_t>(key), flags == 0 ? (IPC_CREAT | 0666) : flags);
    c.ids[key] = id < 0 ? -1 : id;
    return c.ids[key];
}

void ipc_queue_cache_reset() { cache().set_up = false; }

void ipc_queue_forget(int key)
{
    if (static_cast<unsigned>(key) <= static_cast<unsigned>(IPC_MAX_KEY)) {
        cache().ids[key] = -1;
    }
}

bool ipc_queue_gone(int err) { return err == EIDRM || err == EINVAL; }

void ipc_set_send_patience(int milliseconds) { g_send_patience_ms = milliseconds; }

int ipc_send_patience() { return g_send_patience_ms; }

int kmb_sendmsgq(int id, MsgHeader* msg, int flags)
{
    return os::msgsnd(id, msg, static_cast<size_t>(msg->length), flags) == 0 ? 0 : -1;
}

int kmb_readmsgq(int id, MsgHeader* msg, long type, int flags)
{
    const ssize_t n = os::msgrcv(id, msg, static_cast<size_t>(msg->length), type, flags);
    return n < 0 ? -1 : static_cast<int>(n);
}

int ipc_send_to(int key, MsgHeader* msg)
{
    for (int look = 0; look < 2; ++look) {
        const int id = ipc_queue_id(key, 0);
        if (id < 0) {
            return -1;
        }
        if (send_waiting(id, msg) == 0) {
            return 0;
        }
        if (!ipc_queue_gone(errno)) {
            return -2;
        }
        ipc_queue_forget(key);
    }
    return -2;
}

int ipc_queue_drain(int key)
{
    const int id = ipc_queue_id(key, 0);
    // Room for mtype and the one byte of text that each receive keeps.
    struct {
        MsgHeader head;
    } one{};
    ssize_t n;
    do {
        n = os::msgrcv(id, &one, 1, 0, IPC_NOWAIT | MSG_NOERROR);
    } while (n > 0);
    if (n < 0 && errno == ENOMSG) {
        return 0;
    }
    return static_cast<int>(n);
}

int ipc_queue_remove(int id)
{
    QueueCache& c = cache();
    for (int32_t& cached : c.ids) {
        cached = cached == id ? -1 : cached;
    }
    return os::msgctl(id, IPC_RMID, nullptr);
}

int ipc_queue_set_mode(int id, int mode)
{
    msqid_ds ds{};
    stat_queue(id, ds);
    ds.msg_perm.mode = static_cast<decltype(ds.msg_perm.mode)>(mode);
    os::msgctl(id, IPC_SET, &ds);
    return 0;
}

int ipc_queue_set_max_bytes(int id, int bytes)
{
    msqid_ds ds{};
    if (!stat_queue(id, ds)) {
        return -1;
    }
    ds.msg_qbytes = static_cast<msglen_t>(bytes);
    return os::msgctl(id, IPC_SET, &ds);
}

int ipc_queue_max_bytes(int id)
{
    msqid_ds ds{};
    return stat_queue(id, ds) ? static_cast<int>(ds.msg_qbytes) : -1;
}

int ipc_queue_bytes(int id)
{
    msqid_ds ds{};
    return stat_queue(id, ds) ? static_cast<int>(ds.__msg_cbytes) : -1;
}

int ipc_queue_count(int id)
{
    msqid_ds ds{};
    return stat_queue(id, ds) ? static_cast<int>(ds.msg_qnum) : -1;
}

int ipc_queue_mode(int id)
{
    msqid_ds ds{};
    return stat_queue(id, ds) ? static_cast<int>(ds.msg_perm.mode & 0xFFFF) : 0xFFFF;
}

int ipc_queue_print_info(int id)
{
    msqid_ds ds{};
    if (!stat_queue(id, ds)) {
        return -1;
    }
    std::printf("Info for queue id %d\n", id);
    std::printf("\tmax number of bytes on queue: %d\n", static_cast<int>(ds.msg_qbytes));
    std::printf("\tcurrent number of bytes on queue: %d\n", static_cast<int>(ds.__msg_cbytes));
    std::printf("\tcurrent number of messages on queue: %d\n", static_cast<int>(ds.msg_qnum));
    return 0;
}

const char* ipc_daemon_name(int number)
{
    if (number < 1 || number > IPC_MAX_KEY) {
        return "unknown";
    }
    return kDaemonNames[number];
}

} // namespace kmb
