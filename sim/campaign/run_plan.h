// One run of a campaign, drawn from the campaign's seed and the run's number alone: the same
// seed gives the same runs, whatever the number of runs or jobs, so run 7 of a campaign of 12
// is run 7 of a campaign of 1,000.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/core/faults.h"

namespace kmb::sim {

struct PlannedFault {
    Fault fault;
    bool whole_run;   // else on for [from_ms, to_ms) of card time
    int64_t from_ms;
    int64_t to_ms;
};

struct RunPlan {
    uint64_t seed;
    int number;
    long long start_time;  // --start-time: the card's clock at power-on
    std::vector<PlannedFault> faults;
    std::string input;     // what the operator types, line by line
};

RunPlan draw_run(uint64_t seed, int number);
// A healthy comprehensive pass: no fault, menu 1 and Exit.
RunPlan healthy_run(int number);

// kmbdiag-sim's arguments after the program's name, without --state and --report.
std::vector<std::string> sim_arguments(const RunPlan& plan);
// "printf '...' | kmbdiag-sim --speed 0 ...": the shell line that replays the run on a fresh
// card of its own, and leaves no folder behind. With a report file, the run writes it there.
std::string replay_line(const RunPlan& plan, const std::string& report_path = {});

} // namespace kmb::sim
