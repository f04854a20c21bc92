#include "sim/daemons/agentd_service.h"

#include <cerrno>
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

namespace kmb {

namespace {

// The largest message the daemon takes; anything longer is cut and then refused by its size.
union Incoming {
    MsgHeader head;
    AgentApiRequest request;
    InterruptNotice notice;
};

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

int agentd_dispatch(const void* msg, int n)
{
    const auto* in = static_cast<const Incoming*>(msg);
    if (n < static_cast<int>(MSG_HEAD_AFTER_TYPE)) {
        log_msg(LOG_ERR, "agentd: dropped a message of %d bytes", n);
        return -1;
    }
    switch (in->head.msg_class) {
    case MSG_CLASS_AGENT_CMD:
    case MSG_CLASS_LM77:
        if (n != AGENT_API_REQUEST_LENGTH) {
            log_msg(LOG_ERR, "agentd: dropped a request of %d bytes", n);
            return -1;
        }
        return in->head.msg_class == MSG_CLASS_AGENT_CMD ? agent_api_handle_request(&in->request)
                                                         : lm77_request_handler(&in->request);
    case MSG_CLASS_INTERRUPT:
        return agentd_interrupt(in->head.word2);
    default:
        log_msg(LOG_ERR, "agentd: dropped a message of class %d", in->head.msg_class);
        return -1;
    }
}

int agentd_run(const volatile sig_atomic_t* stop, AssertedLines asserted)
{
    agent_init();
    lm77_init();
    const int id = ipc_queue_id(IPC_KEY_AGENTD, 0);
    if (id < 0) {
        return 1;
    }
    LineWatch watch;
    serve_interrupts(asserted, watch);
    while (*stop == 0) {
        Incoming in{};
        const ssize_t n = os::msgrcv(id, &in, sizeof in - sizeof(long), 0, MSG_NOERROR);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 1;
        }
        agentd_dispatch(&in, static_cast<int>(n));
        serve_interrupts(asserted, watch);
    }
    return 0;
}

} // namespace kmb
