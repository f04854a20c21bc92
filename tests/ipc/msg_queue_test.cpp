// The daemons' queue library on the kernel's own queues, in a private IPC namespace.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/msg.h>

#include "ipc/msg_queue.h"
#include "ipc/packet.h"
#include "os/forwarding_os.h"
#include "support/capture.h"
#include "support/private_ipc.h"

namespace kmb::test {
namespace {

// Counts the msgget and msgsnd calls that reach the kernel. With `ever_gone` the queue is gone
// each time a message is sent to it, as when another process removes it and makes it again
// between every lookup and send.
class CountingOs final : public os::ForwardingOs {
public:
    explicit CountingOs(bool ever_gone = false)
        : ForwardingOs(os::current()), ever_gone_(ever_gone), previous_(os::install(this))
    {
    }
    ~CountingOs() override { os::install(previous_); }
    int msgget(key_t key, int flags) override
    {
        ++msggets;
        return ForwardingOs::msgget(key, flags);
    }
    int msgsnd(int id, const void* msg, size_t size, int flags) override
    {
        ++msgsnds;
        if (ever_gone_) {
            errno = EIDRM;
            return -1;
        }
        return ForwardingOs::msgsnd(id, msg, size, flags);
    }
    int msggets = 0;
    int msgsnds = 0;

private:
    bool ever_gone_;
    os::Os* previous_;
};

// A raw message as a peer daemon would send it: the head and a few bytes after it.
struct RawMessage {
    MsgHeader head;
    uint8_t body[64];
};

int raw_send(int key, long mtype, int32_t msg_class, int after_type)
{
    RawMessage m{};
    m.head.mtype = mtype;
    m.head.msg_class = msg_class;
    return msgsnd(msgget(key, IPC_CREAT | 0666), &m, static_cast<size_t>(after_type), 0);
}

using IpcQueue = PrivateIpc;

TEST_F(IpcQueue, LookupCreatesOnceRefusesKeysOutsideTheTableAndCachesNoFailure)
{
    CountingOs counting;
    struct Case {
        int key;
        bool found;
        int msggets; // in all, after this lookup
    };
    const Case cases[] = {{22, true, 1}, {22, true, 1}, {0, true, 2}, {23, false, 2}, {-1, false, 2}, {1000, false, 2}};
    for (const Case& c : cases) {
        const int id = ipc_queue_id(c.key, 0);
        EXPECT_EQ(id >= 0, c.found) << c.key;
        EXPECT_EQ(counting.msggets, c.msggets) << c.key;
    }
    // A failed lookup is not cached but tried again.
    EXPECT_EQ(ipc_queue_id(5, IPC_EXCL | 0600), -1) << "flags without IPC_CREAT find no queue";
    EXPECT_EQ(ipc_queue_id(5, IPC_EXCL | 0600), -1);
    EXPECT_EQ(counting.msggets, 4);
    EXPECT_EQ(ipc_queue_mode(ipc_queue_id(22, 0)), 0666);
    EXPECT_EQ(queues_in_namespace(), 2);
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(22, 0)), 0);
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(0, 0)), 0);
}

TEST_F(IpcQueue, PacketAllocationBounds)
{
    struct Case {
        int size;
        bool given;
    };
    for (const Case c : {Case{0, true}, Case{1024, true}, Case{1025, false}, Case{-1, false}}) {
        void* p = ipc_msg_alloc(c.size);
        EXPECT_EQ(p != nullptr, c.given) << c.size;
        if (p != nullptr) {
            const auto* block = static_cast<const uint8_t*>(p) - IPC_PACKET_HEAD_SIZE;
            for (std::size_t i = 0; i < IPC_PACKET_HEAD_SIZE + static_cast<std::size_t>(c.size); ++i) {
                ASSERT_EQ(block[i], 0) << "byte " << i << " of a packet of " << c.size;
            }
        }
        EXPECT_EQ(ipc_msg_free(p), c.given ? 0 : -1) << c.size;
    }
}

TEST_F(IpcQueue, APacketTravelsWithItsHeadAndComesOutWhole)
{
    // Straight to daemon 5's queue, and through the relay (queue 1) naming daemon 9.
    struct Case {
        bool direct;
        int queue;
    };
    for (const Case c : {Case{true, 5}, Case{false, IPC_KEY_RELAY}}) {
        void* out = ipc_msg_alloc(10);
        std::memcpy(out, "0123456789", 10);
        const int dest = c.direct ? 5 : 0x109; // only the low 8 bits name the receiver
        EXPECT_EQ(c.direct ? ipc_msg_send_direct(out, 10, dest, 0) : ipc_msg_send(out, 10, dest, 0), 10);
        ipc_msg_free(out);

        // What the kernel holds: mtype 1, then class 2, two zero words, length 30, dest, src 0.
        const int id = ipc_queue_id(c.queue, 0);
        EXPECT_EQ(ipc_queue_count(id), 1);
        EXPECT_EQ(ipc_queue_bytes(id), 30);
        RawMessage raw{};
        ASSERT_EQ(msgrcv(id, &raw, sizeof raw - sizeof(long), 0, IPC_NOWAIT), 30) << std::strerror(errno);
        EXPECT_EQ(raw.head.mtype, 1);
        EXPECT_EQ(raw.head.msg_class, 2);
        EXPECT_EQ(raw.head.word2, 0);
        EXPECT_EQ(raw.head.word3, 0);
        EXPECT_EQ(raw.head.length, 30);
        EXPECT_EQ(raw.body[0], c.direct ? 5 : 9) << "dest";
        EXPECT_EQ(raw.body[1], 0) << "src is the relay's to fill";

        ASSERT_EQ(msgsnd(id, &raw, 30, 0), 0); // back on the queue for the receiving daemon
        void* in = ipc_msg_alloc(64);
        EXPECT_EQ(ipc_msg_recv(in, 64, c.queue, IPC_NOWAIT), 10);
        EXPECT_EQ(std::memcmp(in, "0123456789", 10), 0);
        EXPECT_EQ(ipc_msg_sender(in), 0u);
        ipc_msg_free(in);
        EXPECT_EQ(ipc_queue_remove(id), 0);
    }
    EXPECT_EQ(ipc_msg_send(nullptr, 1, 5, 0), -1);
    EXPECT_EQ(ipc_msg_send_direct(nullptr, 1, 5, 0), -1);
    EXPECT_EQ(ipc_msg_sender(nullptr), 0u);
}

TEST_F(IpcQueue, ReceiveTakesTypeOneOnlyAndChecksClassBeforeLength)
{
    ASSERT_EQ(raw_send(6, 2, MSG_CLASS_PACKET, 30), 0); // another type: left waiting throughout
    ASSERT_EQ(raw_send(6, 1, MSG_CLASS_SEL, 80), 0);    // type 1 of another class
    ASSERT_EQ(raw_send(6, 1, MSG_CLASS_PACKET, 12), 0); // a generic packet cut short of its head
    ASSERT_EQ(raw_send(6, 1, MSG_CLASS_PACKET, 60), 0); // 40 payload bytes
    ASSERT_EQ(raw_send(6, 1, MSG_CLASS_PACKET, 20), 0); // the head alone: an empty packet
    void* in = ipc_msg_alloc(64);
    struct Step {
        int capacity;
        int expected;
    };
    const Step steps[] = {
        {64, -3}, // consumed, not a packet
        {64, -4}, // consumed, 12 bytes are fewer than the head
        {10, -4}, // too big for 10: the receive fails and leaves it; the buffer still holds a packet
        {40, 40},
        {40, 0},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(ipc_msg_recv(in, s.capacity, 6, IPC_NOWAIT), s.expected) << s.capacity;
    }
    EXPECT_EQ(ipc_msg_recv(in, 64, 6, IPC_NOWAIT), -4) << "nothing of type 1 is left";
    EXPECT_EQ(ipc_queue_count(ipc_queue_id(6, 0)), 1) << "the type 2 message waits still";
    EXPECT_EQ(ipc_msg_recv(in, -1, 6, IPC_NOWAIT), -1);
    EXPECT_EQ(ipc_msg_recv(nullptr, 1, 6, IPC_NOWAIT), -1);
    EXPECT_EQ(ipc_msg_recv(in, 1, 23, IPC_NOWAIT), -2);
    ipc_msg_free(in);

    // A fresh buffer holds class 0, so a failed receive reads as "not a packet".
    void* fresh = ipc_msg_alloc(4);
    EXPECT_EQ(ipc_msg_recv(fresh, 4, 6, IPC_NOWAIT), -3);
    ipc_msg_free(fresh);
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(6, 0)), 0);
}

TEST_F(IpcQueue, DrainEmptiesAQueueOfAnyTypesAndSizes)
{
    EXPECT_EQ(ipc_queue_drain(8), 0) << "an empty queue";
    ASSERT_EQ(raw_send(8, 1, MSG_CLASS_PACKET, 60), 0);
    ASSERT_EQ(raw_send(8, 0x8000, MSG_CLASS_SEL, 80), 0);
    ASSERT_EQ(raw_send(8, 3, 9, 4), 0);
    EXPECT_EQ(ipc_queue_drain(8), 0);
    EXPECT_EQ(ipc_queue_count(ipc_queue_id(8, 0)), 0);
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(8, 0)), 0);
    EXPECT_EQ(ipc_queue_drain(23), -1) << "no queue for a key outside the table";
}

TEST_F(IpcQueue, AttributesReadAndChange)
{
    const int id = ipc_queue_id(9, 0);
    ASSERT_EQ(ipc_queue_set_max_bytes(id, 4000), 0);
    EXPECT_EQ(ipc_queue_max_bytes(id), 4000);
    EXPECT_EQ(ipc_queue_set_mode(id, 0600), 0);
    EXPECT_EQ(ipc_queue_mode(id), 0600);
    ASSERT_EQ(raw_send(9, 1, MSG_CLASS_PACKET, 44), 0);
    CapturedOutput printed;
    EXPECT_EQ(ipc_queue_print_info(id), 0);
    printed.stop();
    EXPECT_EQ(printed.out(), "Info for queue id " + std::to_string(id) +
                                 "\n"
                                 "\tmax number of bytes on queue: 4000\n"
                                 "\tcurrent number of bytes on queue: 44\n"
                                 "\tcurrent number of messages on queue: 1\n");
    EXPECT_EQ(ipc_queue_remove(id), 0);

    // The queue is gone: every accessor says so.
    CapturedOutput gone;
    EXPECT_EQ(ipc_queue_print_info(id), -1);
    gone.stop();
    EXPECT_EQ(gone.out(), "");
    EXPECT_EQ(ipc_queue_max_bytes(id), -1);
    EXPECT_EQ(ipc_queue_bytes(id), -1);
    EXPECT_EQ(ipc_queue_count(id), -1);
    EXPECT_EQ(ipc_queue_mode(id), 0xFFFF);
    EXPECT_EQ(ipc_queue_set_max_bytes(id, 10), -1);
    EXPECT_EQ(ipc_queue_set_mode(id, 0600), 0);
    RawMessage m{{1, MSG_CLASS_PACKET, 0, 0, 20}, {}};
    EXPECT_EQ(ipc_send_to(9, &m.head), 0) << "a removed queue is made again, never sent to by its old ID";
    const int again = ipc_queue_id(9, 0);
    EXPECT_NE(again, id);
    // Removed by someone else (ipcrm): the send finds that the cached ID has gone and looks again.
    ASSERT_EQ(msgctl(again, IPC_RMID, nullptr), 0);
    EXPECT_EQ(ipc_send_to(9, &m.head), 0);
    EXPECT_EQ(ipc_queue_count(ipc_queue_id(9, 0)), 1);
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(9, 0)), 0);
}

TEST_F(IpcQueue, ASendWaitsForAFullQueueAsLongAsItsPatience)
{
    const int id = ipc_queue_id(9, 0);
    ASSERT_EQ(ipc_queue_set_max_bytes(id, 20), 0);
    RawMessage m{{1, MSG_CLASS_PACKET, 0, 0, 20}, {}};
    ASSERT_EQ(ipc_send_to(9, &m.head), 0);
    ipc_set_send_patience(30);
    EXPECT_EQ(ipc_send_to(9, &m.head), -2) << "full, and nobody takes from it";
    EXPECT_EQ(errno, EAGAIN);
    ipc_set_send_patience(-1);
    EXPECT_EQ(ipc_queue_remove(id), 0);
}

TEST_F(IpcQueue, AQueueGoneAgainAfterItsSecondLookupFailsTheSend)
{
    RawMessage m{{1, MSG_CLASS_PACKET, 0, 0, 20}, {}};
    {
        CountingOs gone(true);
        EXPECT_EQ(ipc_send_to(9, &m.head), -2);
        EXPECT_EQ(gone.msggets, 2) << "looked up, then once more";
        EXPECT_EQ(gone.msgsnds, 2);
    }
    EXPECT_EQ(ipc_queue_remove(ipc_queue_id(9, 0)), 0);
}

TEST(IpcDaemonName, NamesByNumber)
{
    struct Case {
        int number;
        const char* name;
    };
    for (const Case c : {Case{4, "agentd"}, Case{7, "seld"}, Case{0, "unknown"}, Case{23, "unknown"},
                         Case{-4, "unknown"}}) {
        EXPECT_STREQ(ipc_daemon_name(c.number), c.name) << c.number;
    }
    for (int n = 1; n <= IPC_MAX_KEY; ++n) {
        const std::string name = ipc_daemon_name(n);
        EXPECT_TRUE(!name.empty() && name.size() <= 10 && name != "unknown") << n;
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789"), std::string::npos) << n;
    }
}

} // namespace
} // namespace kmb::test
