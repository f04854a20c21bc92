// kmb-seld-sim: the card's system event log daemon on the simulated card.
#include "sim/daemons/seld_service.h"
#include "sim/daemons/sim_daemon.h"

namespace {

constexpr kmb::tools::DaemonUsage kUsage{
    "kmb-seld-sim", "[OPTION]...",
    "The card's system event log daemon on a simulated card: it takes SEL requests\n"
    "off queue 7 and keeps the records in /mnt/logs/sel/sel.rec and their summary in\n"
    "/mnt/logs/sel/sel.inf, under the lock file /halvex/run/selinf.lck.\n"
    "It prints \"ready\" once it serves; SIGTERM or SIGINT ends it after it has stored\n"
    "what already waits on its queue.",
    nullptr};

} // namespace

int main(int argc, char** argv)
{
    return kmb::tools::sim_daemon_main(kUsage, argc, argv,
                                       [](const volatile sig_atomic_t* stop, kmb::sim::Card&) { return kmb::seld_run(stop); });
}
