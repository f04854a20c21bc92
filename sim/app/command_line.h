// kmbdiag-sim's command line, read with getopt_long: long options by any unique beginning,
// --option=VALUE or --option VALUE, -h and -V, and '--' to end the options.
#pragma once

#include <cstdio>

#include "sim/core/config.h"

namespace kmb::sim {

// Fills `config` from the arguments. Returns -1 when the simulated card is to run, or the
// exit status to end with at once: 0 after --help, --version or --list-faults (printed on
// `out`), 2 after a bad argument (explained on `err`). Every argument is checked before any
// is acted on, so a bad one is an error whatever else the line asks for.
int parse_command_line(int argc, const char* const* argv, SimConfig& config, FILE* out, FILE* err);

} // namespace kmb::sim
