// The whole diagnostic, start-up to Exit, on a simulated card in this process: the console is
// scripted, and what the program printed is kept for the test to read.
#pragma once

#include <set>
#include <string>

#include "support/sim_card.h"

namespace kmb::test {

struct Session {
    std::string out;
    std::string err;
    int exit_status = -1;
};

// Runs kmb_main on `card` with `console` as what the operator types.
Session run_diagnostic(SimCard& card, const std::string& console);

// The regular files of the card's file system, as card paths ("/tmp/diag_version").
std::set<std::string> card_files(SimCard& card);

} // namespace kmb::test
