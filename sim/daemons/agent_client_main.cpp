// kmb-agent: pokes a running simulated card's daemons from the shell. It joins the card of a
// state folder, sends one agent command or LM77 request to the agent daemon and prints the
// answer decoded, or reads and decodes the SEL's summary and records.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "agent/agent_api.h"
#include "os/os.h"
#include "sim/app/command_line.h"
#include "sim/card/card.h"
#include "sim/card/sim_os.h"
#include "sim/daemons/agent_client.h"
#include "sim/daemons/daemon_usage.h"

namespace {

// The "clid" queue of the card's daemon table: the command-line client's own.
constexpr int kDefaultReplyKey = 14;

constexpr kmb::tools::DaemonUsage kUsage{
    "kmb-agent", "[OPTION]... REQUEST",
    "Sends one request to the agent daemon of a running simulated card and prints the\n"
    "answer decoded, or reads the card's system event log. REQUEST is one of:\n"
    "  COMMAND [PARAM]          an agent command by name (rd_pwr_stat, reset 17,\n"
    "                           dump_state, ...) or by code (0x05); PARAM up to\n"
    "                           0xFFFF\n"
    "  lm77 read REG            read an LM77 register (0 temperature, 3 T_CRIT,\n"
    "                           4 T_LOW, 5 T_HIGH) into the daemon's state\n"
    "  lm77 write REG CELSIUS   write an LM77 limit\n"
    "  lm77 query | lm77 temp   the daemon's LM77 state; temp reads the sensor first\n"
    "  sel info | sel records   the SEL's summary, or its records decoded\n"
    "Exit status: 0 answered with result 0, 1 answered with an error code, 2 a\n"
    "request it does not understand, 3 no answer could be had.",
    "  --key N              the reply queue's key, 1 to 22 but 4 (default: 14)\n",
    kmb::tools::print_agent_commands};

} // namespace

int main(int argc, char** argv)
{
    int status = 0;
    if (kmb::tools::daemon_usage(kUsage, argc, argv, &status)) {
        return status;
    }
    std::vector<const char*> rest = {argv[0]};
    std::vector<std::string> words;
    int key = kDefaultReplyKey;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--key") {
            char* end = nullptr;
            const long v = i + 1 < argc ? std::strtol(argv[i + 1], &end, 10) : -1;
            if (i + 1 >= argc || *end != '\0' || !kmb::agent_api_reply_key_ok(static_cast<int>(v)) || v > 22) {
                std::fprintf(stderr, "kmb-agent: --key needs a daemon's queue number, 1 to 22 but 4\n");
                return 2;
            }
            key = static_cast<int>(v);
            ++i;
        } else if (arg.rfind("--", 0) == 0) {
            rest.push_back(argv[i]);
            // The card's options that take a value.
            static const char* const kValued[] = {"--state", "--speed", "--start-time", "--fault",
                                                   "--temp",  "--agent", "--syslog"};
            for (const char* v : kValued) {
                if (arg == v && i + 1 < argc) {
                    rest.push_back(argv[++i]);
                }
            }
        } else {
            words.emplace_back(arg);
        }
    }
    kmb::sim::SimConfig config;
    status = kmb::sim::parse_command_line(static_cast<int>(rest.size()), rest.data(), config, stdout, stderr);
    if (status >= 0) {
        return status;
    }
    config.join_running = true;
    try {
        kmb::sim::Card card(config);
        kmb::sim::SimOs os(card);
        kmb::os::install(&os);
        const int result = kmb::tools::agent_client(words, key);
        kmb::os::install(nullptr);
        return result;
    } catch (const std::exception& e) {
        kmb::os::install(nullptr);
        std::fprintf(stderr, "kmb-agent: %s\n", e.what());
        return 3;
    }
}
