// The iptables command of the card: it takes the rule forms the diagnostic runs (append or
// delete one DNAT or SNAT rule that matches one address) and lists the nat table with -S;
// anything else it refuses as iptables does, with its message and status. The table itself is
// the kernel's.
#pragma once

#include "sim/kernel/net/nat_table.h"
#include "sim/userland/shell_programs.h"

namespace kmb::sim {

// Runs `iptables` with `args` (its name first) on `table`; returns its exit status.
int run_iptables(const ProgramArgs& args, ShellStreams& io, NatTable& table);

} // namespace kmb::sim
