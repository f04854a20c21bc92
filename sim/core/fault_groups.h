// Which of the diagnostic's runs sees each fault of the catalogue: the test whose verdict
// names it first, the card's agent daemon for the host agent's protocol that no menu reaches,
// or none where the diagnostic has a known gap. `kmbdiag-sim --list-faults` prints the
// catalogue in these groups, so that an engineer looking for a failure of one test finds the
// faults that lead to it. The fault-coverage test holds this table to what the card shows.
#pragma once

#include <span>

#include "sim/core/faults.h"

namespace kmb::sim {

enum class FaultGroup {
    StartUp,
    SerialPort,
    CounterAgent,
    AgentBus,
    Temperature,
    AgentIrq,
    AgentIirq,
    Memory,
    Ethernet,
    Watchdog,
    CounterAgentReset,
    AgentDaemon,
    NoTest,
};

struct FaultGroupInfo {
    FaultGroup group;
    const char* seen_by; // "the serial port test (menu 2)"
};

// Every group, in the order the diagnostic meets them: start-up, the menu's tests by number,
// the daemon, and the faults no test sees.
std::span<const FaultGroupInfo> fault_groups();
FaultGroup fault_group(Fault fault);

} // namespace kmb::sim
