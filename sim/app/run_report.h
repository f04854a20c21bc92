// The run as data, for a campaign, a CI job or a line's database: written as JSON when the run
// ends, so that nobody scrapes the console for the verdicts.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/core/faults.h"

namespace kmb::sim {

// One verdict line of the console: "Agent IRQ test ...........PASSED".
struct Verdict {
    std::string test;    // the label without its dots: "Agent IRQ test"
    bool passed;
    int64_t us;          // card time the line ended
};

// A console line as the terminal shows it, when it is a verdict line.
std::optional<Verdict> verdict_of(std::string_view line, int64_t us);

// A fault the command line asked for, and what became of it.
struct FaultOutcome {
    Fault fault;
    std::optional<FaultWindow> window; // none: the whole run
    bool fired;
    int64_t first_fired_us;            // -1 when it never fired
};

struct RunRecord {
    std::string version;
    time_t start_time = 0;
    int64_t card_us = 0; // card time when the run ended
    int exit_status = 0;
    std::vector<Verdict> verdicts;
    bool fail_lamp = false;
    bool pass_lamp = false;
    std::vector<FaultOutcome> faults;
};

// The record as JSON text, ending in a line feed.
std::string run_report_json(const RunRecord& record);

} // namespace kmb::sim
