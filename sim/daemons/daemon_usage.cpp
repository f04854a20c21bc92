#include "sim/daemons/daemon_usage.h"

#include <cstdio>
#include <cstring>

#include "sim/core/config.h"

namespace kmb::tools {

namespace {

constexpr const char* kCardOptions =
    "  --state DIR          the card's state folder; boot a fresh one first with one\n"
    "                       start of kmbdiag-sim, then start the daemons on it\n"
    "  --speed X            card seconds per wall second; 0 lets no wall time pass\n"
    "  --start-time EPOCH   the card clock at start, in seconds since 1970\n"
    "  --fault NAME         switch on a fault of the card (repeatable; see\n"
    "                       kmbdiag-sim --list-faults)\n"
    "  --temp C             the temperature the card's sensor reads\n"
    "  --agent PLATFORM     the host board's platform: tamber or valdor\n"
    "  --syslog FILE        where the card's syslog goes (default: syslog in the\n"
    "                       state folder)\n";

} // namespace

bool daemon_usage(const DaemonUsage& usage, int argc, char** argv, int* status)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            return false;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", usage.program, sim::kDiagnosticRelease);
            *status = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Usage: %s %s\n%s\n", usage.program, usage.synopsis, usage.what);
            if (usage.more != nullptr) {
                usage.more();
            }
            if (usage.options != nullptr) {
                std::printf("\nIts options:\n%s", usage.options);
            }
            std::printf("\nThe simulated card it works on:\n%s", kCardOptions);
            std::printf("  --help               print this help and exit\n"
                        "  --version            print %s's version and exit\n\n"
                        "The card's daemons and their clients must share one IPC namespace. Errors that\n"
                        "stop a daemon go to its standard error and to the card's syslog.\n",
                        usage.program);
            *status = 0;
            return true;
        }
    }
    return false;
}

} // namespace kmb::tools
