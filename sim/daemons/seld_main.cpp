// kmb-seld-sim: the card's system event log daemon on the simulated card.
#include "sim/core/standard_descriptors.h"
#include "sim/daemons/seld_service.h"
#include "sim/daemons/sim_daemon.h"

int main(int argc, char** argv)
{
    kmb::sim::hold_standard_descriptors(); // before the state is opened: see main.cpp
    return kmb::tools::run_sim_daemon("kmb-seld-sim", argc, argv,
                                      [](const volatile sig_atomic_t* stop, kmb::sim::Card&) { return kmb::seld_run(stop); });
}
