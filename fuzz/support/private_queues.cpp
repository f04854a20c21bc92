#include "fuzz/support/private_queues.h"

#include <sched.h>
#include <sys/msg.h>

#include "ipc/msg_queue.h"

namespace kmb::fuzz {

void enter_private_ipc()
{
    unshare(CLONE_NEWIPC); // without the right to, the machine's own queues 0 to 22 serve
    ipc_queue_cache_reset();
}

void drain_daemon_queues()
{
    struct {
        long mtype;
        char text[1];
    } one;
    for (int key = 0; key <= IPC_MAX_KEY; ++key) {
        const int id = msgget(key, 0);
        while (id >= 0 && msgrcv(id, &one, 1, 0, IPC_NOWAIT | MSG_NOERROR) >= 0) {
        }
    }
}

} // namespace kmb::fuzz
