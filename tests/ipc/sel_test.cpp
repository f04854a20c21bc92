// The system event log's client: the requests that reach the SEL daemon's queue, and the
// summary read under its lock file, on a simulated card and the kernel's own queues.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/msg.h>

#include "ipc/msg_queue.h"
#include "ipc/sel.h"
#include "os/forwarding_os.h"
#include "support/capture.h"
#include "support/private_ipc.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

// The largest request the tests send: three records.
struct Received {
    MsgHeader head;
    int32_t record_count;
    SelRecord records[3];
};

class SelClient : public PrivateIpc {
protected:
    // The next request on the SEL daemon's queue; its bytes after mtype in `n`.
    Received take(int& n)
    {
        Received r{};
        n = static_cast<int>(msgrcv(ipc_queue_id(IPC_KEY_SELD, 0), &r, sizeof r - sizeof(long), 0, IPC_NOWAIT));
        return r;
    }
    void TearDown() override
    {
        ipc_queue_remove(ipc_queue_id(IPC_KEY_SELD, 0));
        PrivateIpc::TearDown();
    }
    SimCard card_;
};

std::string text_at(const SelRecord& r, std::size_t offset, std::size_t size)
{
    return std::string(reinterpret_cast<const char*>(r.event_data) + offset, size);
}

TEST_F(SelClient, RequestSizesFollowTheRecordCount)
{
    SelRecord three[3] = {};
    for (int i = 0; i < 3; ++i) {
        three[i].timestamp = 100 + i;
        three[i].event_type = i;
    }
    struct Case {
        int count;
        int length; // the bytes after mtype that reach the queue
        int records_carried;
    };
    const Case cases[] = {{3, 200, 3}, {1, 80, 1}, {0, 80, 0}, {SEL_CLEAR, 80, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(sel_send(SEL_MTYPE, c.count, c.count > 0 ? three : nullptr), 0) << c.count;
        int n = 0;
        const Received r = take(n);
        EXPECT_EQ(n, c.length) << c.count;
        EXPECT_EQ(r.head.length, c.length) << c.count;
        EXPECT_EQ(sel_request_size(c.count), c.length + 4) << c.count;
        EXPECT_EQ(r.head.mtype, 1);
        EXPECT_EQ(r.head.msg_class, 6);
        EXPECT_EQ(r.head.word2, 0);
        EXPECT_EQ(r.head.word3, 0);
        EXPECT_EQ(r.record_count, c.count);
        for (int i = 0; i < 3; ++i) {
            const SelRecord expected = i < c.records_carried ? three[i] : SelRecord{};
            EXPECT_EQ(std::memcmp(&r.records[i], &expected, sizeof expected), 0) << c.count << " record " << i;
        }
    }
}

TEST_F(SelClient, TextEventsCarryTheUserAndAtMost39Characters)
{
    struct Case {
        const char* text;
        std::string carried;
    };
    const std::string fifty = "The fixture's second fan reports no tachometer....";
    ASSERT_EQ(fifty.size(), 50u);
    const Case cases[] = {{fifty.c_str(), fifty.substr(0, 39)}, {"short", "short"}, {nullptr, ""}};
    for (const Case& c : cases) {
        EXPECT_EQ(sel_log_text(42, c.text), 0);
        int n = 0;
        const Received r = take(n);
        ASSERT_EQ(n, 80);
        const SelRecord& rec = r.records[0];
        EXPECT_EQ(rec.timestamp, static_cast<int32_t>(kTestEpoch));
        EXPECT_EQ(rec.severity, 1);
        EXPECT_EQ(rec.event_type, 42);
        EXPECT_EQ(text_at(rec, 0, 8), std::string("root\0\0\0\0", 8)) << "the card's daemons run as root";
        EXPECT_EQ(text_at(rec, 8, 40), c.carried + std::string(40 - c.carried.size(), '\0'));
        EXPECT_EQ(rec.event_data[47], 0) << "byte 59 of the record";
    }
}

// A login name longer than its field keeps its first seven characters and a zero.
class LongLogin final : public os::ForwardingOs {
public:
    using ForwardingOs::ForwardingOs;
    char* cuserid(char* buf) override
    {
        std::snprintf(buf, L_cuserid, "fieldop1");
        return buf;
    }
};

TEST_F(SelClient, ALongLoginNameIsCutToItsField)
{
    LongLogin login(card_.os());
    os::Os* previous = os::install(&login);
    EXPECT_EQ(sel_log_text(42, "x"), 0);
    os::install(previous);
    int n = 0;
    const Received r = take(n);
    ASSERT_EQ(n, 80);
    EXPECT_EQ(text_at(r.records[0], 0, 9), std::string("fieldop\0x", 9));
}

TEST_F(SelClient, CodedEventsOfSeverityFourGoAhead)
{
    for (int severity : {0, 1, 2, 3, 4, 5}) {
        EXPECT_EQ(sel_log_event(0x1234, severity), 0);
        int n = 0;
        const Received r = take(n);
        ASSERT_EQ(n, 80);
        EXPECT_EQ(r.head.mtype, severity == 4 ? 0x8000 : 1) << severity;
        EXPECT_EQ(r.records[0].severity, severity);
        EXPECT_EQ(r.records[0].event_type, 0);
        int32_t code = 0;
        std::memcpy(&code, r.records[0].event_data, 4);
        EXPECT_EQ(code, 0x1234);
        for (int i = 4; i < 48; ++i) {
            ASSERT_EQ(r.records[0].event_data[i], 0) << i;
        }
    }
}

TEST_F(SelClient, ClearingAndFailedSendsAreLogged)
{
    card_.card().syslog().clear();
    EXPECT_EQ(sel_clear(), 0);
    int n = 0;
    EXPECT_EQ(take(n).record_count, -1);
    EXPECT_EQ(card_.syslog_lines(), std::vector<std::string>{"4 Clear SEL\n"});

    // The daemon's queue stays full past the sender's patience.
    card_.card().syslog().clear();
    ASSERT_EQ(ipc_queue_set_max_bytes(ipc_queue_id(IPC_KEY_SELD, 0), 1), 0);
    ipc_set_send_patience(0);
    EXPECT_EQ(sel_log_event(1, 2), -1);
    EXPECT_EQ(sel_log_text(3, "x"), -1);
    // A sender's patience is card time spent in polls of 10 ms.
    ipc_set_send_patience(30);
    const int64_t start = card_.card().clock().now_us();
    EXPECT_EQ(sel_log_event(1, 2), -1);
    EXPECT_EQ(card_.card().clock().now_us() - start, 30'000);
    ipc_set_send_patience(-1);
    EXPECT_EQ(sel_send(SEL_MTYPE, 1 << 30, nullptr), -1) << "too many records to size";
    EXPECT_EQ(card_.syslog_lines(), std::vector<std::string>(3, "3 Fail to send msg to seld\n"));
}

TEST_F(SelClient, SummaryReadUnderTheLock)
{
    sim::CardFs& fs = card_.card().fs();
    ASSERT_TRUE(fs.write_text(SEL_INFO_PATH, "7 -2 300 4000 5\n"));
    SelInfo info{{9, 9, 9, 9, 9}};
    EXPECT_EQ(sel_get_info(&info), 0);
    EXPECT_EQ((std::vector<int32_t>(info.fields, info.fields + 5)), (std::vector<int32_t>{7, -2, 300, 4000, 5}));
    EXPECT_FALSE(fs.exists(SEL_LOCK_INFO));

    // A holder keeps the lock for 50 ms of card time; the reader waits it out.
    ASSERT_TRUE(fs.write_text(SEL_LOCK_INFO, ""));
    const int64_t start = card_.card().clock().now_us();
    card_.card().clock().after(50'000, [&fs] { fs.remove(SEL_LOCK_INFO); });
    ASSERT_TRUE(fs.write_text(SEL_INFO_PATH, "1 2 3 4 5\n"));
    EXPECT_EQ(sel_get_info(&info), 0);
    EXPECT_GE(card_.card().clock().now_us() - start, 50'000);
    EXPECT_EQ(info.fields[4], 5);
    EXPECT_FALSE(fs.exists(SEL_LOCK_INFO));

    // No summary: 4, the fields untouched, the lock released.
    card_.card().syslog().clear();
    ASSERT_EQ(fs.remove(SEL_INFO_PATH), 0);
    SelInfo kept{{1, 1, 1, 1, 1}};
    EXPECT_EQ(sel_get_info(&kept), 4);
    EXPECT_EQ(kept.fields[0], 1);
    EXPECT_FALSE(fs.exists(SEL_LOCK_INFO));
    EXPECT_EQ(card_.syslog_lines(), std::vector<std::string>{"3 Error open /mnt/logs/sel/sel.inf for read\n"});

    // No folder for the lock: any error but "exists" gives up at once.
    card_.card().syslog().clear();
    std::filesystem::remove_all(fs.host_path("/halvex/run"));
    EXPECT_EQ(sel_get_info(&kept), 6);
    EXPECT_EQ(card_.syslog_lines(), std::vector<std::string>{"3 sel_get_info: Fail to get SEL_LOCK_INFO\n"});
    EXPECT_EQ(card_.os().open_descriptor_count(), 0) << card_.os().open_descriptor_names();
}

TEST(SelPrintRecord, PrintsTheStoredHead)
{
    const SelStoredHead head{12, 0x5F00AA01, 2, 5};
    CapturedOutput printed;
    EXPECT_EQ(sel_print_record(&head), 0);
    EXPECT_EQ(sel_print_record(nullptr), 0);
    printed.stop();
    EXPECT_EQ(printed.out(), "\nRecord ID: 12\nTimestamp: 0x5f00aa01\nSeverity: 2\nEvent type: 5\n");
}

} // namespace
} // namespace kmb::test
