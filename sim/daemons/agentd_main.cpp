// kmb-agentd-sim: the card's agent daemon on the simulated card. The card's agent driver tells
// it of the interrupt lines that its host agent and its LM77 hold asserted.
#include "devices/agentdrv.h"
#include "sim/core/standard_descriptors.h"
#include "sim/daemons/agentd_service.h"
#include "sim/daemons/sim_daemon.h"

namespace {

kmb::sim::Card* g_card = nullptr;

uint32_t asserted_lines()
{
    uint32_t lines = 0;
    if (g_card->host_agent().interrupt()) {
        lines |= 1u << kmb::IRQ_AGENT;
    }
    if (g_card->lm77().int_low()) {
        lines |= 1u << kmb::IRQ_LM77_TEMP;
    }
    if (g_card->lm77().crit_low()) {
        lines |= 1u << kmb::IRQ_LM77_CRIT;
    }
    return lines;
}

} // namespace

int main(int argc, char** argv)
{
    kmb::sim::hold_standard_descriptors(); // before the state is opened: see main.cpp
    return kmb::tools::run_sim_daemon("kmb-agentd-sim", argc, argv,
                                      [](const volatile sig_atomic_t* stop, kmb::sim::Card& card) {
                                          g_card = &card;
                                          return kmb::agentd_run(stop, asserted_lines);
                                      });
}
