#include "sim/daemons/agentd_service.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <syslog.h>

#include "agent/agent_api.h"
#include "agent/agent_protocol.h"
#include "agent/lm77_service.h"
#include "devices/agentdrv.h"
#include "devices/error_codes.h"
#include "devices/log.h"
#include "ipc/msg_queue.h"
#include "os/os.h"
#include "sim/daemons/daemon_voice.h"
#include "sim/daemons/pid_file.h"

namespace kmb {

namespace {

// The head of every request, from the class to the reply key: what a request cut short must
// still hold for an answer to reach its requester.
constexpr int kRequesterKnown = 12;

union Incoming {
    AgentdMessage raw;
    MsgHeader head;
    AgentApiRequest request;
    InterruptNotice notice;
};
static_assert(sizeof(AgentdMessage) >= sizeof(AgentApiRequest) && sizeof(AgentdMessage) >= sizeof(InterruptNotice));
static_assert(offsetof(AgentApiRequest, bytes) - sizeof(long) + 4 == AGENT_API_REQUEST_LENGTH,
              "a request is its head and four bytes");

// Answers a request of the wrong length with the checksum error: its command bytes cannot be
// trusted, but its requester waits.
int answer_malformed(const AgentApiRequest& req, int n)
{
    const int pid = req.head.word2;
    const int key = req.head.word3;
    log_msg(LOG_ERR, "agentd: request of %d bytes from process %d answered with a checksum error", n, pid);
    uint8_t cached[AGENT_API_LM77_PAYLOAD];
    std::memcpy(cached, &lm77_state, sizeof cached);
    const bool lm77 = req.head.msg_class == MSG_CLASS_LM77;
    const int cmd = n > static_cast<int>(offsetof(AgentApiRequest, bytes) - sizeof(long)) ? req.bytes[0] : 0;
    if (agent_api_respond(cmd, 1, req.head.msg_class, key, pid, ERR_CHECKSUM, lm77 ? cached : nullptr,
                          lm77 ? AGENT_API_LM77_PAYLOAD : 0, 0xFF) != ERR_NONE) {
        log_msg(LOG_ERR, "agent_api: failed to send response back to requester");
    }
    return ERR_CHECKSUM;
}

// Whether the hardware shows what a notice says.
bool notice_believed(int line)
{
    if (line == IRQ_AGENT) {
        return (agentdrv_get_status() & AGENTDRV_STATUS_AGENT_EVENT) != 0;
    }
    return line == IRQ_LM77_TEMP || line == IRQ_LM77_CRIT;
}

// Rounds of handlers between two messages: enough for a full FIFO, and a bound for a line
// that its handler cannot quiet.
constexpr int kRounds = 8;

struct LineWatch {
    uint32_t seen = 0;        // asserted at the last look
    uint32_t progressing = 0; // its handler's last run succeeded: there may be more to take
};

// Runs the handler of each line that has become asserted, or stays asserted while its handler
// gets somewhere (a FIFO longer than one read). A handler that fails is run again only when
// its line drops and rises again.
void serve_interrupts(AssertedLines asserted, LineWatch& watch)
{
    for (int round = 0; asserted != nullptr && round < kRounds; ++round) {
        const uint32_t now = asserted();
        const uint32_t due = now & (~watch.seen | watch.progressing);
        watch.seen = now;
        if (due == 0) {
            return;
        }
        for (int line : {IRQ_AGENT, IRQ_LM77_TEMP, IRQ_LM77_CRIT}) {
            const uint32_t bit = 1u << line;
            if ((due & bit) != 0) {
                const bool ok = agentd_interrupt(line) == ERR_NONE;
                watch.progressing = ok ? (watch.progressing | bit) : (watch.progressing & ~bit);
            }
        }
    }
}

} // namespace

int agentd_interrupt(int line)
{
    switch (line) {
    case IRQ_AGENT:
        return agent_event_handler();
    case IRQ_LM77_TEMP:
    case IRQ_LM77_CRIT:
        return lm77_event_handler();
    default:
        log_msg(LOG_ERR, "agentd: no handler for interrupt line %d", line);
        return -1;
    }
}

int agentd_dispatch(const AgentdMessage* msg, int n)
{
    Incoming in{};
    std::memcpy(&in.raw, msg, sizeof in.raw);
    if (n < kRequesterKnown) {
        log_msg(LOG_ERR, "agentd: dropped a message of %d bytes", n);
        return -1;
    }
    switch (in.head.msg_class) {
    case MSG_CLASS_AGENT_CMD:
    case MSG_CLASS_LM77:
        if (!agent_api_reply_key_ok(in.head.word3)) {
            log_msg(LOG_ERR, "agentd: request of process %d refused: reply key %d is no queue of a daemon",
                    in.head.word2, in.head.word3);
            return -1;
        }
        if (n != AGENT_API_REQUEST_LENGTH) {
            return answer_malformed(in.request, n);
        }
        return in.head.msg_class == MSG_CLASS_AGENT_CMD ? agent_api_handle_request(&in.request)
                                                        : lm77_request_handler(&in.request);
    case MSG_CLASS_INTERRUPT:
        if (n != kInterruptNoticeLength || !notice_believed(in.head.word2)) {
            log_msg(LOG_WARNING, "agentd: notice of interrupt line %d (%d bytes) not borne out; dropped",
                    in.head.word2, n);
            return -1;
        }
        return agentd_interrupt(in.head.word2);
    default:
        log_msg(LOG_ERR, "agentd: dropped a message of class %d", in.head.msg_class);
        return -1;
    }
}

int agentd_run(const volatile sig_atomic_t* stop, AssertedLines asserted)
{
    if (!daemon_start("agentd", IPC_KEY_AGENTD, AGENTD_PID_FILE)) {
        return 1;
    }
    // A reply queue that nobody empties must not stop the daemon serving everyone else.
    ipc_set_send_patience(AGENTD_ANSWER_PATIENCE_MS);
    agent_init();
    lm77_init();
    int rc = 0;
    int id = ipc_queue_id(IPC_KEY_AGENTD, 0);
    LineWatch watch;
    serve_interrupts(asserted, watch);
    while (*stop == 0 && id >= 0) {
        AgentdMessage in{};
        const ssize_t n = os::msgrcv(id, &in, AGENTD_RECEIVE_ROOM, 0, MSG_NOERROR);
        if (n < 0) {
            const int why = errno;
            if (why == EINTR) {
                continue;
            }
            if (ipc_queue_gone(why)) {
                daemon_say(LOG_WARNING, "queue %d was removed under the daemon; made again", IPC_KEY_AGENTD);
                ipc_queue_forget(IPC_KEY_AGENTD);
                id = ipc_queue_id(IPC_KEY_AGENTD, 0);
                continue;
            }
            daemon_say(LOG_ERR, "cannot receive on queue %d: %s", IPC_KEY_AGENTD, std::strerror(why));
            rc = 1;
            break;
        }
        agentd_dispatch(&in, static_cast<int>(n));
        serve_interrupts(asserted, watch);
    }
    if (id < 0) {
        daemon_say(LOG_ERR, "cannot have queue %d: %s", IPC_KEY_AGENTD, std::strerror(errno));
        rc = 1;
    }
    pid_file_release(AGENTD_PID_FILE);
    return rc;
}

} // namespace kmb
