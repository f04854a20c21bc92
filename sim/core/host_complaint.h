// The simulator's own troubles with the host (a log it cannot write, a console that refuses
// output, a state it cannot keep) go to standard error once each, never into the card's console
// and never once per line.
#pragma once

#include <string>

namespace kmb::sim {

// Prints "kmbdiag-sim: MESSAGE" on standard error the first time `what` is complained of in
// this process; later complaints of the same `what` are dropped. Returns whether it printed.
bool complain_once(const std::string& what, const std::string& message);

} // namespace kmb::sim
