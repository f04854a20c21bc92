// The card's daemons keep serving whatever a peer puts on their queues: queues that go are
// found again, a reply queue nobody reads stops only its own answers, malformed requests are
// answered, stale locks are taken over, and a second daemon on a queue refuses to start. Real
// daemon processes on the kernel's queues, in a private IPC namespace.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include "agent/agent_api.h"
#include "agent/agent_protocol.h"
#include "devices/agentdrv.h"
#include "devices/error_codes.h"
#include "ipc/msg_queue.h"
#include "ipc/sel.h"
#include "os/os.h"
#include "sim/daemons/agentd_service.h"
#include "sim/daemons/seld_service.h"
#include "integration/daemon_pair.h"

namespace kmb::test {
namespace {

constexpr int kReplyKey = 10;
constexpr int kOtherReplyKey = 11;

// `after_type` bytes of `msg` (from its mtype on) put on queue 4, as any process may.
int send_to_agentd(const void* msg, std::size_t after_type)
{
    return msgsnd(msgget(IPC_KEY_AGENTD, IPC_CREAT | 0666), msg, after_type, 0);
}

// An rd_info request of this process as any process may put it on queue 4: `after_type` bytes
// of it are sent.
int send_raw_request(int32_t msg_class, int reply_key, int after_type)
{
    struct {
        long mtype;
        uint8_t text[128];
    } m{};
    m.mtype = 1;
    AgentApiRequest req{};
    req.head = MsgHeader{1, msg_class, static_cast<int>(os::getpid()), reply_key, AGENT_API_REQUEST_LENGTH};
    req.bytes[0] = AGENT_RD_INFO;
    req.checksum = agent_checksum(req.bytes, 3);
    std::memcpy(m.text, reinterpret_cast<const uint8_t*>(&req) + sizeof(long), 20);
    return send_to_agentd(&m, static_cast<std::size_t>(after_type));
}

// A process that has ended: its ID names nobody.
pid_t gone_process()
{
    const pid_t child = fork();
    if (child == 0) {
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    return child;
}

class DaemonsSteadfast : public DaemonPair {
protected:
    const int pid_ = static_cast<int>(os::getpid());
    int rd_info_agent_id(int key)
    {
        uint8_t payload[AGENT_API_PAYLOAD] = {};
        uint8_t status = 0;
        const int rc = agent_api_read(AGENT_RD_INFO, 0, payload, key, &status);
        return rc == ERR_NONE ? payload[1] : -rc;
    }
};

TEST_F(DaemonsSteadfast, QueuesThatGoAreFoundAgain)
{
    start();
    ASSERT_EQ(rd_info_agent_id(kReplyKey), 0x99);
    // Someone runs ipcrm on each queue in turn; the next request still goes through, and the
    // daemon's report to the event log reaches the SEL daemon's new queue.
    for (int key : {kReplyKey, IPC_KEY_AGENTD, IPC_KEY_SELD}) {
        SCOPED_TRACE(key);
        ASSERT_EQ(msgctl(msgget(key, 0), IPC_RMID, nullptr), 0);
        EXPECT_EQ(rd_info_agent_id(kReplyKey), 0x99);
    }
    uint8_t status = 0;
    EXPECT_EQ(agent_api_write(0x42, 0, kReplyKey, &status), ERR_INVALID_COMMAND);
    stop_daemons();
    EXPECT_NE(agentd_->errors().find("agentd: queue 4 was removed under the daemon; made again"), std::string::npos)
        << agentd_->errors();
    EXPECT_NE(seld_->errors().find("seld: queue 7 was removed under the daemon; made again"), std::string::npos)
        << seld_->errors();
    EXPECT_TRUE(logged("kmb agentd: <4> queue 4 was removed under the daemon; made again"));
    // Each daemon logs under its own name.
    EXPECT_TRUE(logged(" kmb agentd: <3> ERROR: command 42 not found in cmdlist!\n"));
    EXPECT_FALSE(logged(" kmbdiag: <3> ERROR: command 42"));
    EXPECT_EQ(stored_records().size(), 1u) << "the client's error record reached the new SEL queue";
}

TEST_F(DaemonsSteadfast, ReplyKeysOutsideTheDaemonsAreRefused)
{
    start();
    const int keys[] = {0, IPC_KEY_AGENTD, 23, -1};
    for (int key : keys) {
        ASSERT_EQ(send_raw_request(MSG_CLASS_AGENT_CMD, key, AGENT_API_REQUEST_LENGTH), 0) << key;
    }
    // The daemon got past them: the next request is answered.
    EXPECT_EQ(rd_info_agent_id(kReplyKey), 0x99);
    for (int key : keys) {
        EXPECT_TRUE(logged("agentd: request of process " + std::to_string(pid_) + " refused: reply key " +
                           std::to_string(key) + " is no queue of a daemon"))
            << key;
    }
    EXPECT_EQ(queues_in_namespace(), 3) << "no private queue was made for key 0";
    // The client refuses them before anything is sent.
    uint8_t payload[AGENT_API_PAYLOAD] = {};
    uint8_t status = 0;
    EXPECT_EQ(agent_api_read(AGENT_RD_INFO, 0, payload, 0, &status), ERR_IPC);
    EXPECT_EQ(log_at(3).at(0), "Agent api: reply key 0 is no queue of a daemon\n");
    stop_daemons();
}

TEST_F(DaemonsSteadfast, AFullQueueHoldsUpOnlyItsOwnAnswers)
{
    // No SEL daemon: its queue fills and stays full.
    agentd_ = start_agentd();
    ASSERT_TRUE(agentd_->running());
    for (int key : {kOtherReplyKey, IPC_KEY_SELD}) {
        const int id = msgget(key, IPC_CREAT | 0666);
        ASSERT_EQ(ipc_queue_set_max_bytes(id, AGENT_API_RESPONSE_LENGTH), 0);
        AgentApiResponse filler{};
        filler.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, 1, 0, AGENT_API_RESPONSE_LENGTH};
        // The daemon's start-up may have put a request of its own there: fill what room is left
        // to the last byte.
        for (size_t size = AGENT_API_RESPONSE_LENGTH; size > 0;) {
            if (msgsnd(id, &filler, size, IPC_NOWAIT) != 0) {
                size /= 2;
            }
        }
    }
    // A reply queue nobody reads, then a checksum error that the daemon reports to the full
    // event log: both give up after their wait, and the next client is served.
    ASSERT_EQ(send_raw_request(MSG_CLASS_AGENT_CMD, kOtherReplyKey, AGENT_API_REQUEST_LENGTH), 0);
    AgentApiRequest bad{};
    bad.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, pid_, kReplyKey, AGENT_API_REQUEST_LENGTH};
    bad.checksum = 1;
    ASSERT_EQ(send_to_agentd(&bad, AGENT_API_REQUEST_LENGTH), 0);
    uint8_t status = 0;
    EXPECT_EQ(agent_api_wait_response(kReplyKey, pid_, &status, nullptr), ERR_CHECKSUM);
    EXPECT_EQ(rd_info_agent_id(kReplyKey), 0x99);
    EXPECT_EQ(agentd_->stop(), 0) << agentd_->errors();
    EXPECT_TRUE(logged("Fail to send msg to agent api\n"));
    EXPECT_TRUE(logged("agent_api: failed to send response back to requester\n"));
    EXPECT_TRUE(logged("Fail to send agent error to sel\n"));
}

TEST_F(DaemonsSteadfast, RequestsOfTheWrongLengthAreAnsweredWithTheChecksumError)
{
    start();
    struct Case {
        int32_t msg_class;
        int after_type;
    };
    // From the reply key on, and up to more than any build's receive room.
    const Case cases[] = {{MSG_CLASS_AGENT_CMD, 12}, {MSG_CLASS_AGENT_CMD, 16}, {MSG_CLASS_AGENT_CMD, 19},
                          {MSG_CLASS_AGENT_CMD, 21}, {MSG_CLASS_AGENT_CMD, 24}, {MSG_CLASS_AGENT_CMD, 100},
                          {MSG_CLASS_LM77, 16},      {MSG_CLASS_LM77, 24}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.after_type);
        ASSERT_EQ(send_raw_request(c.msg_class, kOtherReplyKey, c.after_type), 0);
        uint8_t status = 0;
        EXPECT_EQ(agent_api_wait_response(kOtherReplyKey, pid_, &status, nullptr), ERR_CHECKSUM);
        EXPECT_EQ(status, 0xFF);
    }
    // Exactly 20 bytes is a request.
    ASSERT_EQ(send_raw_request(MSG_CLASS_AGENT_CMD, kOtherReplyKey, 20), 0);
    EXPECT_EQ(agent_api_wait_response(kOtherReplyKey, pid_, nullptr, nullptr), ERR_NONE);
    // A message too short to name its requester cannot be answered; it is logged.
    ASSERT_EQ(send_raw_request(MSG_CLASS_AGENT_CMD, kOtherReplyKey, 11), 0);
    EXPECT_EQ(rd_info_agent_id(kReplyKey), 0x99);
    EXPECT_TRUE(logged("agentd: dropped a message of 11 bytes\n"));
    // A longer one is seen as long as the daemon's room, on the card's build as here.
    EXPECT_TRUE(logged("agentd: request of " + std::to_string(AGENTD_RECEIVE_ROOM) + " bytes from process " +
                       std::to_string(pid_) + " answered with a checksum error\n"));
    stop_daemons();
}

TEST_F(DaemonsSteadfast, ADumpWithABadChecksumCarriesNoDump)
{
    start();
    AgentApiRequest req{};
    req.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, pid_, kReplyKey, AGENT_API_REQUEST_LENGTH};
    req.bytes[0] = AGENT_DUMP_STATE;
    req.checksum = 0xE3; // 0x1C's own is 0xE4
    ASSERT_EQ(send_to_agentd(&req, AGENT_API_REQUEST_LENGTH), 0);
    uint8_t status = 0;
    uint8_t payload[AGENT_API_PAYLOAD];
    std::memset(payload, 0xEE, sizeof payload);
    EXPECT_EQ(agent_api_wait_response(kReplyKey, pid_, &status, payload), ERR_CHECKSUM);
    EXPECT_EQ(status, 0xFF);
    EXPECT_EQ(std::vector<uint8_t>(payload, payload + 4), std::vector<uint8_t>(4, 0));
    stop_daemons();
}

TEST_F(DaemonsSteadfast, AnInterruptNoticeRunsAHandlerOnlyWhenTheCardShowsTheInterrupt)
{
    start();
    struct Case {
        int line;
        int after_type;
    };
    // The agent's line with its FIFO empty, a line without a handler, a notice cut short; the
    // LM77's handler reads the sensor itself: a notice changes nothing where nothing changed.
    for (const Case& c : {Case{IRQ_AGENT, 16}, Case{26, 16}, Case{IRQ_AGENT, 12}, Case{IRQ_LM77_TEMP, kInterruptNoticeLength}}) {
        InterruptNotice notice{};
        notice.head = MsgHeader{1, MSG_CLASS_INTERRUPT, c.line, 0, kInterruptNoticeLength};
        ASSERT_EQ(send_to_agentd(&notice, static_cast<std::size_t>(c.after_type)), 0) << std::strerror(errno);
    }
    EXPECT_EQ(rd_info_agent_id(kReplyKey), 0x99);
    stop_daemons();
    EXPECT_TRUE(logged("agentd: notice of interrupt line 25 (16 bytes) not borne out; dropped\n"));
    EXPECT_TRUE(logged("agentd: notice of interrupt line 26 (16 bytes) not borne out; dropped\n"));
    EXPECT_TRUE(logged("agentd: notice of interrupt line 25 (12 bytes) not borne out; dropped\n"));
    EXPECT_FALSE(logged("Error read fifo called with no intr"));
    EXPECT_EQ(stored_records().size(), 0u) << "no error reached the event log";
}

TEST_F(DaemonsSteadfast, AStaleLockIsTakenOverAndAHeldOneStillEndsOnSigterm)
{
    // Left by a process that is gone: taken over at the first record.
    ASSERT_TRUE(card().fs().write_text(SEL_LOCK_INFO, std::to_string(gone_process()) + "\n"));
    start();
    uint8_t status = 0;
    EXPECT_EQ(agent_api_write(0x42, 0, kReplyKey, &status), ERR_INVALID_COMMAND);
    stop_daemons();
    EXPECT_EQ(stored_records().size(), 1u);
    EXPECT_FALSE(card().fs().exists(SEL_LOCK_INFO));
    EXPECT_TRUE(logged("kmb seld: <4> seld: /halvex/run/selinf.lck left by process"));

    // Held by a live process (this one): the daemon waits, and SIGTERM still ends it.
    ASSERT_TRUE(card().fs().write_text(SEL_LOCK_INFO, std::to_string(getpid()) + "\n"));
    seld_ = start_seld();
    SelRecord r{};
    ASSERT_EQ(sel_send(SEL_MTYPE, 1, &r), 0);
    EXPECT_EQ(seld_->stop(), 0) << seld_->errors();
    EXPECT_TRUE(card().fs().exists(SEL_LOCK_INFO)) << "a live holder's lock is left alone";
    EXPECT_EQ(stored_records().size(), 1u);
}

TEST_F(DaemonsSteadfast, TheStoredSummaryIsCheckedAsOutsideInput)
{
    struct Case {
        const char* summary;
        std::vector<int32_t> after; // after one more record, at the tests' clock
        bool garbled;
    };
    const int32_t now = static_cast<int32_t>(kTestEpoch);
    const Case cases[] = {
        // At the limits: the count stops, the IDs go round.
        {"2147483647 2147483647 0 0 2147483647\n", {2147483647, 1, now, 2, 2147483647}, false},
        {"3 9 100 1 0\n", {4, 10, now, 2, 0}, false},
        // Garbled, out of range or negative: made again from the one record stored before.
        {"1 2 x 4 5\n", {2, 4, now, 2, 0}, true},
        {"1 99999999999 0 0 0\n", {2, 4, now, 2, 0}, true},
        {"-5 1 0 0 0\n", {2, 4, now, 2, 0}, true},
        {"1 2 3 4 5 6\n", {2, 4, now, 2, 0}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.summary);
        boot();
        // One record stored before, with ID 2.
        StoredSelRecord before{{2, now, 1, 0}, {}};
        ASSERT_TRUE(card().fs().write_text(
            SEL_RECORDS_PATH, std::string(reinterpret_cast<const char*>(&before), sizeof before)));
        ASSERT_TRUE(card().fs().write_text(SEL_INFO_PATH, c.summary));
        seld_ = start_seld();
        SelRecord r{};
        r.timestamp = now;
        r.severity = 2;
        ASSERT_EQ(sel_send(SEL_MTYPE, 1, &r), 0);
        EXPECT_EQ(seld_->stop(), 0) << seld_->errors();
        SelInfo info{};
        ASSERT_EQ(sel_get_info(&info), 0);
        EXPECT_EQ(std::vector<int32_t>(info.fields, info.fields + 5), c.after);
        EXPECT_EQ(logged("seld: summary /mnt/logs/sel/sel.inf garbled; made again from /mnt/logs/sel/sel.rec"),
                  c.garbled);
    }
}

TEST_F(DaemonsSteadfast, ASecondDaemonOnAQueueRefusesNamingTheFirst)
{
    start();
    for (auto* first : {&seld_, &agentd_}) {
        const bool sel = first == &seld_;
        std::unique_ptr<DaemonProcess> second = sel ? start_seld() : start_agentd();
        EXPECT_EQ(second->stop(), 1);
        const std::string why = std::string(sel ? "seld: queue 7" : "agentd: queue 4") + " is served by process " +
                                std::to_string((*first)->pid()) + " already";
        EXPECT_NE(second->errors().find(why), std::string::npos) << second->errors();
        EXPECT_TRUE(logged(why.substr(why.find(' ') + 1)));
    }
    EXPECT_EQ(rd_info_agent_id(kReplyKey), 0x99) << "the first still serves";
    stop_daemons();

    // A process ID file left by a daemon that is gone does not stop the next start.
    ASSERT_TRUE(card().fs().write_text(AGENTD_PID_FILE, std::to_string(gone_process()) + "\n"));
    agentd_ = start_agentd();
    EXPECT_EQ(rd_info_agent_id(kReplyKey), 0x99);
    EXPECT_EQ(agentd_->stop(), 0) << agentd_->errors();
    EXPECT_FALSE(card().fs().exists(AGENTD_PID_FILE)) << "the daemon takes its file with it";
}

} // namespace
} // namespace kmb::test
