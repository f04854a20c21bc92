// One daemon per queue: whether the process named in a daemon's ID file still runs is asked of
// the system through the seam, so a backend can answer for processes that are not this host's.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "os/os.h"
#include "os/forwarding_os.h"
#include "sim/daemons/pid_file.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

constexpr const char* kPidFile = "/var/run/kmb-test-daemon.pid";

// Answers signal 0 for the processes it was told of, as that system's kernel would, and keeps
// every request it saw.
class ProcessTable final : public os::ForwardingOs {
public:
    explicit ProcessTable(os::Os& next) : ForwardingOs(next) {}
    int kill(pid_t pid, int sig) override
    {
        asked.emplace_back(pid, sig);
        const auto it = errors.find(pid);
        if (it == errors.end()) {
            return 0;
        }
        errno = it->second;
        return -1;
    }
    std::map<pid_t, int> errors; // the errno for a process; 0 (absent): it runs
    std::vector<std::pair<pid_t, int>> asked;
};

TEST(PidFile, WhetherTheHolderRunsIsAskedThroughTheSeam)
{
    SimCard card;
    ProcessTable table(card.os());
    os::Os* const previous = os::install(&table);
    // Real processes of this host that the seam's system sees otherwise: our parent is gone
    // there, and a process that ended here runs there, or runs as another user.
    const pid_t parent = getppid();
    const pid_t ended = 0x3FFFFFF0; // beyond any PID this host hands out by default
    struct Case {
        pid_t holder;
        int error;       // what the seam answers for it
        pid_t claim;     // what pid_file_claim returns
        bool ours_after; // the file names us afterwards
    };
    const Case cases[] = {
        {ended, 0, ended, false},
        {ended, EPERM, ended, false},
        {parent, ESRCH, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.holder);
        table.errors.clear();
        table.asked.clear();
        if (c.error != 0) {
            table.errors[c.holder] = c.error;
        }
        ASSERT_TRUE(card.card().fs().write_text(kPidFile, std::to_string(c.holder) + "\n"));
        EXPECT_EQ(pid_file_claim(kPidFile), c.claim);
        EXPECT_EQ(table.asked, (std::vector<std::pair<pid_t, int>>{{c.holder, 0}}));
        EXPECT_EQ(pid_file_holder(kPidFile) == os::getpid(), c.ours_after);
        pid_file_release(kPidFile);
    }
    EXPECT_FALSE(card.card().fs().exists(kPidFile)) << "released by the one it names";
    os::install(previous);
}

} // namespace
} // namespace kmb::test
