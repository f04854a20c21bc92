#include "sim/campaign/summary.h"

namespace kmb::sim {

namespace {

constexpr int kEndedStatus = 1;

void print_faults(FILE* out, const RunResult& r)
{
    std::fprintf(out, "  faults:");
    if (r.faults.empty()) {
        std::fprintf(out, " none");
    }
    for (const ReportedFault& f : r.faults) {
        std::fprintf(out, " %s", f.name.c_str());
        if (f.from != 0 || f.to) {
            std::fprintf(out, "@%.3f-", f.from);
            if (f.to) {
                std::fprintf(out, "%.3f", *f.to);
            }
        }
        if (f.first_fired) {
            std::fprintf(out, " (fired at %.3f s)", *f.first_fired);
        } else {
            std::fprintf(out, " (never fired)");
        }
    }
    std::fprintf(out, "\n");
}

void print_verdicts(FILE* out, const RunResult& r)
{
    std::fprintf(out, "  verdicts:");
    if (r.verdicts.empty()) {
        std::fprintf(out, " none");
    }
    for (const ReportedVerdict& v : r.verdicts) {
        std::fprintf(out, "\n    %.3f s  %s %s", v.card_seconds, v.test.c_str(), v.passed ? "PASSED" : "FAILED");
    }
    std::fprintf(out, "\n");
}

} // namespace

void print_run(FILE* out, const std::string& title, const RunOutcome& outcome, const std::string& replay)
{
    std::fprintf(out, "%s\n", title.c_str());
    if (outcome.result) {
        print_faults(out, *outcome.result);
        print_verdicts(out, *outcome.result);
    }
    if (outcome.findings.empty()) {
        std::fprintf(out, "  seen as the coverage report says\n");
    }
    for (const std::string& f : outcome.findings) {
        std::fprintf(out, "  FLAGGED: %s\n", f.c_str());
    }
    if (!replay.empty()) {
        std::fprintf(out, "  replay: %s\n", replay.c_str());
    }
}

void print_totals(FILE* out, std::size_t runs, std::size_t flagged)
{
    std::fprintf(out, "%zu runs, %zu flagged\n", runs, flagged);
}

RunOutcome outcome_of_report(const RunResult& result)
{
    RunOutcome outcome{result, contradictions(result)};
    if (result.exit_status != kEndedStatus) {
        outcome.findings.insert(outcome.findings.begin(), "exit status " + std::to_string(result.exit_status) +
                                                              ", not " + std::to_string(kEndedStatus));
    }
    return outcome;
}

} // namespace kmb::sim
