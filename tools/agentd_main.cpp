// kmb-agentd-sim: the card's agent daemon on the simulated card.
#include "agentd_service.h"
#include "sim_daemon.h"

int main(int argc, char** argv) { return kmb::tools::run_sim_daemon("kmb-agentd-sim", argc, argv, kmb::agentd_run); }
