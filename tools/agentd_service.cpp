#include "agentd_service.h"

#include <cerrno>
#include <syslog.h>

#include "devices/agent_api.h"
#include "devices/agent_protocol.h"
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

int serve_lm77(const AgentApiRequest* request)
{
    // The LM77 operations are not served by this daemon yet: the requester hears so rather
    // than waiting for ever.
    return agent_api_respond(0, 1, MSG_CLASS_LM77, request->head.word3, request->head.word2, ERR_INVALID_COMMAND,
                             nullptr, 0, 0) == ERR_NONE
               ? ERR_INVALID_COMMAND
               : ERR_IPC;
}

} // namespace

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
                                                         : serve_lm77(&in->request);
    case MSG_CLASS_INTERRUPT:
        if (in->head.word2 == IRQ_AGENT) {
            return agent_event_handler();
        }
        log_msg(LOG_ERR, "agentd: no handler for interrupt line %d", in->head.word2);
        return -1;
    default:
        log_msg(LOG_ERR, "agentd: dropped a message of class %d", in->head.msg_class);
        return -1;
    }
}

int agentd_run(const volatile sig_atomic_t* stop)
{
    agent_init();
    const int id = ipc_queue_id(IPC_KEY_AGENTD, 0);
    if (id < 0) {
        return 1;
    }
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
    }
    return 0;
}

} // namespace kmb
