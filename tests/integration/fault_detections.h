// What each fault of the simulated card must show, and where: the runs through the diagnostic,
// the texts each fault makes the card print, the faults the agent daemon detects and the
// known gaps. The fault-coverage test runs these and writes docs/fault-coverage.md from them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sim/core/fault_groups.h"

namespace kmb::test {

// One way through the diagnostic, from start-up to Exit. `cut` says which part of what it
// printed belongs to the run: start-up's, a test menu number's, or a top-level command's. A
// reset test gives its verdict at the card's next start: its run is the test, then start-up
// once more on the same card, and the part is that second start-up's.
enum class Cut { StartUp, TestMenu, TopLevel, NextStart };

struct CardRun {
    const char* title;
    std::string console;
    Cut cut;
    sim::FaultGroup group; // what --list-faults files a fault under that this run shows first
};

// How a fault must show itself in one run: a text the run must print on standard output, and
// one on standard error, written from the diagnostic's own messages (either may be empty).
struct Shows {
    const CardRun* run;
    std::string out;
    std::string err;
};

struct Detection {
    const char* fault;
    std::vector<Shows> shows;
};

// Faults of the host agent, which no menu reaches: the agent daemon's libraries return `code`
// and record an agent error in the system event log.
struct DaemonDetection {
    const char* fault;
    int code;
    const char* how;
};

// Faults of the host agent that the daemon's tries ride out: `failed_tries` are logged, every
// command goes through and nothing reaches the system event log.
struct DaemonRecovery {
    const char* fault;
    int failed_tries;
    const char* how;
};

const std::vector<Detection>& detections();
// Faults that no test of today can detect, each with the reason.
const std::map<std::string, std::string>& known_gaps();
const std::vector<DaemonDetection>& daemon_detections();

const Detection* row_of(const std::string& fault);
const DaemonDetection* daemon_row_of(const std::string& fault);
const std::vector<DaemonRecovery>& daemon_recoveries();
const DaemonRecovery* daemon_recovery_of(const std::string& fault);
// The runs a fault is looked for in: those of its row, or start-up and the comprehensive test.
std::vector<const CardRun*> runs_of(const std::string& fault);
// Every run some row names, for the healthy card.
std::vector<const CardRun*> all_runs();

} // namespace kmb::test
