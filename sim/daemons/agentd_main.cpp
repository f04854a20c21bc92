// kmb-agentd-sim: the card's agent daemon on the simulated card. The card's agent driver tells
// it of the interrupt lines that its host agent and its LM77 hold asserted.
#include "devices/agentdrv.h"
#include "sim/daemons/agentd_service.h"
#include "sim/daemons/sim_daemon.h"

namespace {

kmb::sim::Card* g_card = nullptr;

constexpr kmb::tools::DaemonUsage kUsage{
    "kmb-agentd-sim", "[OPTION]...",
    "The card's agent daemon on a simulated card: it serves agent commands (class 3)\n"
    "and LM77 requests (class 4) on queue 4, answers each on its requester's queue,\n"
    "and runs the host agent's and the LM77's interrupt handlers, which report to\n"
    "the SEL daemon (queue 7).\n"
    "It prints \"ready\" once it serves; SIGTERM or SIGINT ends it.",
    "  --agent-event HEX    a 16-bit entry waiting in the host agent's event FIFO\n"
    "                       at the start (repeatable), e.g. 0004: PS1_AC_OK dropped\n"
    "  --agent-refuse HEX   a command code the host agent's firmware lacks; it\n"
    "                       answers \"illegal command\" (repeatable), e.g. 00\n"};

uint32_t asserted_lines()
{
    uint32_t lines = 0;
    if (g_card->host_agent().interrupt()) {
        lines |= 1u << kmb::IRQ_AGENT;
    }
    // The LM77's outputs as the interrupt controller sees them, through the card's wiring and
    // whatever is wrong with it.
    for (int line : {kmb::IRQ_LM77_TEMP, kmb::IRQ_LM77_CRIT}) {
        if (g_card->interrupts().asserted(line)) {
            lines |= 1u << line;
        }
    }
    return lines;
}

} // namespace

int main(int argc, char** argv)
{
    return kmb::tools::sim_daemon_main(kUsage, argc, argv, [](const volatile sig_atomic_t* stop, kmb::sim::Card& card) {
        g_card = &card;
        return kmb::agentd_run(stop, asserted_lines);
    });
}
