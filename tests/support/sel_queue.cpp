#include "support/sel_queue.h"

#include <cstring>
#include <sys/msg.h>

#include "ipc/msg_queue.h"

namespace kmb::test {

std::vector<SelSeen> take_sel_requests()
{
    struct {
        MsgHeader head;
        int32_t record_count;
        SelRecord records[32];
    } m;
    std::vector<SelSeen> seen;
    const int id = msgget(IPC_KEY_SELD, 0);
    while (id >= 0) {
        std::memset(&m, 0, sizeof m);
        const ssize_t n = msgrcv(id, &m, sizeof m - sizeof(long), 0, IPC_NOWAIT);
        if (n < 0) {
            break;
        }
        SelSeen s;
        s.mtype = m.head.mtype;
        s.length = static_cast<int>(n);
        s.record_count = m.record_count;
        for (int i = 0; i < m.record_count && i < 32; ++i) {
            s.records.push_back(m.records[i]);
        }
        seen.push_back(s);
    }
    return seen;
}

} // namespace kmb::test
