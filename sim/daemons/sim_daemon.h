// Runs one of the card's daemons on the simulated card: a further process of a card that is
// already up (its state folder), with the simulator's options and a few of the fixture's own:
//   --agent-event HEX   an entry waiting in the host agent's event FIFO at the start
//   --agent-refuse HEX  a command that the host agent's firmware lacks
// SIGTERM or SIGINT ends the daemon. It prints "ready" on standard output once it serves.
#pragma once

#include <csignal>

#include "sim/card/card.h"
#include "sim/daemons/daemon_usage.h"

namespace kmb::tools {

using DaemonLoop = int (*)(const volatile sig_atomic_t* stop, sim::Card& card);

int run_sim_daemon(const char* name, int argc, char** argv, DaemonLoop loop);

// A daemon's whole main: its standard descriptors held before the state is opened, its
// --help and --version, then run_sim_daemon under its own name.
int sim_daemon_main(const DaemonUsage& usage, int argc, char** argv, DaemonLoop loop);

} // namespace kmb::tools
