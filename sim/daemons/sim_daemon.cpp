#include "sim/daemons/sim_daemon.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "sim/app/command_line.h"
#include "sim/card/installed_card.h"
#include "sim/core/standard_descriptors.h"

namespace kmb::tools {

namespace {

volatile sig_atomic_t g_stop = 0;

void on_stop(int) { g_stop = 1; }

// A 16-bit number in hex ("8004", "0x8004"); false for anything else.
bool parse_hex16(const std::string& text, unsigned& value)
{
    if (text.empty() || text.size() > 6) {
        return false;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (*end != '\0' || v > 0xFFFF || text[0] == '-' || text[0] == '+' || text[0] == ' ') {
        return false;
    }
    value = static_cast<unsigned>(v);
    return true;
}

} // namespace

int run_sim_daemon(const char* name, int argc, char** argv, DaemonLoop loop)
{
    std::vector<const char*> rest = {argv[0]};
    std::vector<unsigned> events;
    std::vector<unsigned> refused;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--agent-event" || arg == "--agent-refuse") {
            unsigned v = 0;
            if (i + 1 >= argc || !parse_hex16(argv[i + 1], v) || (arg == "--agent-refuse" && v > 0xFF)) {
                std::fprintf(stderr, "%s: %s needs a hexadecimal %s\n", name, arg.c_str(),
                             arg == "--agent-event" ? "16-bit entry" : "command code");
                return 2;
            }
            (arg == "--agent-event" ? events : refused).push_back(v);
            ++i;
        } else {
            rest.push_back(argv[i]);
        }
    }
    sim::SimConfig config;
    const int status =
        sim::parse_command_line(static_cast<int>(rest.size()), rest.data(), config, stdout, stderr);
    if (status >= 0) {
        return status;
    }
    config.join_running = true;

    struct sigaction act {};
    act.sa_handler = on_stop;
    sigemptyset(&act.sa_mask);
    sigaction(SIGTERM, &act, nullptr);
    sigaction(SIGINT, &act, nullptr);
    try {
        sim::InstalledCard installed(config);
        for (unsigned e : events) {
            installed.card().host_agent().push_event(static_cast<uint16_t>(e));
        }
        for (unsigned code : refused) {
            installed.card().host_agent().refuse(static_cast<uint8_t>(code));
        }
        // Whoever started us may talk to us now: our signals are ours.
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
        return loop(&g_stop, installed.card());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 2;
    }
}

int sim_daemon_main(const DaemonUsage& usage, int argc, char** argv, DaemonLoop loop)
{
    // Before the state is opened, so that no state file takes a closed descriptor's number.
    sim::hold_standard_descriptors();
    int status = 0;
    if (daemon_usage(usage, argc, argv, &status)) {
        return status;
    }
    return run_sim_daemon(usage.program, argc, argv, loop);
}

} // namespace kmb::tools
