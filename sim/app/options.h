// kmbdiag-sim's options: one table, one small handler each. The command line (getopt_long)
// finds the option, the handler checks its value and sets the card's configuration. A new
// option is a handler and a row of the table; the help, the unique prefixes and the nearest
// names in error messages follow from the row.
#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "sim/core/config.h"

namespace kmb::sim {

// What the command line asks for instead of a run: the first of these options given.
enum class Request { Run, Help, Version, ListFaults };

// What the command line asks besides the card's configuration.
struct Asked {
    Request request = Request::Run;
    bool start_time = false; // --start-time was given; otherwise the card starts at the host's time
};

// What an option is given, for the handler that applies it.
struct OptionUse {
    std::string option; // its name with the leading "--"
    const std::string& value;
    SimConfig& config;
    Asked& asked;
    FILE* err;
};

inline constexpr int kGoOn = -1;
inline constexpr int kBadArgument = 2;

// Applies one option with its value: kGoOn, or kBadArgument after explaining on `err`.
using ApplyOption = int (*)(const OptionUse& u);

struct OptionInfo {
    ApplyOption apply;
    const char* name;  // without the leading "--"
    char short_name;   // '\0' when it has none
    const char* value; // the value's placeholder, or nullptr for a switch
    const char* help;  // a line end continues it on the next line, under the first
};

std::span<const OptionInfo> sim_options();

} // namespace kmb::sim
