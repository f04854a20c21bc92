// What a run of kmbdiag-sim gave, read back from its --report JSON, and the judgement of it
// against the fault groups: the coverage report's word on which test sees each fault.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kmb::sim {

struct ReportedVerdict {
    std::string test;
    bool passed;
    double card_seconds;
};

struct ReportedFault {
    std::string name;
    double from;
    std::optional<double> to;          // none: to the end of the run
    std::optional<double> first_fired; // none: it never fired
};

struct RunResult {
    int exit_status = 0;
    std::vector<ReportedVerdict> verdicts;
    std::vector<ReportedFault> faults;
};

// A report is the campaign's own program's output, but a --summarize step reads whatever file
// it is given: anything larger than this is no report.
constexpr std::size_t kMaxReportBytes = 1 << 20;

// The report's text as a result, or an error message when it is not a report.
std::optional<RunResult> parse_run_report(std::string_view text, std::string& error);

// Everything that contradicts the coverage report, one message each: a fault that was on for
// the whole of a run of the test that sees it, and fired there, while that test PASSED; or a
// test that FAILED on a card where no fault fired. Faults of the known gaps and of the agent
// daemon judge nothing, nor does a window that opens or closes inside the test's run.
std::vector<std::string> contradictions(const RunResult& result);

} // namespace kmb::sim
