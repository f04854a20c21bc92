// --help and --version of the card's daemons and their client: each names itself and its own
// options, then the options of the simulated card it joins.
#pragma once

namespace kmb::tools {

struct DaemonUsage {
    const char* program;  // "kmb-agentd-sim"
    const char* synopsis; // after the program's name: "[OPTION]..."
    const char* what;     // what it does, one or more lines
    const char* options;  // its own options, one per line, or nullptr
    void (*more)() = nullptr; // prints what the program knows beyond `what`, or nullptr
};

// When the command line asks for --help or --version (before any "--"), prints the answer on
// standard output and returns true with the exit status in `status`.
bool daemon_usage(const DaemonUsage& usage, int argc, char** argv, int* status);

} // namespace kmb::tools
