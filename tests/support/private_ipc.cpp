#include "support/private_ipc.h"

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/ipc.h>
#include <sys/msg.h>

#include "ipc/msg_queue.h"

namespace kmb::test {

int queues_in_namespace()
{
    msginfo info{};
    if (msgctl(0, MSG_INFO, reinterpret_cast<msqid_ds*>(&info)) < 0) {
        return -1;
    }
    return info.msgpool; // with MSG_INFO: the queues in use
}

int remove_all_queues()
{
    msginfo info{};
    const int highest = msgctl(0, MSG_INFO, reinterpret_cast<msqid_ds*>(&info));
    int removed = 0;
    for (int index = 0; index <= highest; ++index) {
        msqid_ds ds{};
        const int id = msgctl(index, MSG_STAT, &ds);
        if (id >= 0 && msgctl(id, IPC_RMID, nullptr) == 0) {
            ++removed;
        }
    }
    return removed;
}

void PrivateIpc::SetUp()
{
    if (unshare(CLONE_NEWIPC) != 0) {
        GTEST_SKIP() << "no IPC namespace of our own (" << std::strerror(errno)
                     << "): the daemon queue tests need root, as CI has";
    }
    private_ = true;
    ipc_queue_cache_reset();
    ASSERT_EQ(queues_in_namespace(), 0);
}

void PrivateIpc::TearDown()
{
    if (!private_) {
        return;
    }
    EXPECT_EQ(remove_all_queues(), 0) << "queues left behind";
}

} // namespace kmb::test
