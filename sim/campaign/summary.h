// The campaign's account of each run, the same whether the runs were run here or by another
// engine whose reports are read back.
#pragma once

#include <cstdio>
#include <string>

#include "sim/campaign/run_batch.h"

namespace kmb::sim {

// `title` names the run ("run 3 of seed 42", or a report's file); `replay` may be empty.
void print_run(FILE* out, const std::string& title, const RunOutcome& outcome, const std::string& replay);
void print_totals(FILE* out, std::size_t runs, std::size_t flagged);

// The findings of a run read back from its report alone: its exit status and contradictions.
RunOutcome outcome_of_report(const RunResult& result);

} // namespace kmb::sim
