// Healthy comprehensive passes as one campaign: each its own kmbdiag-sim process on a fresh
// card, two at a time as on a desk's two cores. The counter runs, a rate, is the campaign's
// runs per wall second; a thousand runs within a minute is fifty.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "sim/campaign/run_batch.h"

namespace {

constexpr int kJobs = 2;
constexpr double kWallLimitS = 60;

void HealthyCampaign(benchmark::State& state)
{
    std::vector<kmb::sim::RunPlan> plans;
    for (int i = 0; i < state.range(0); ++i) {
        plans.push_back(kmb::sim::healthy_run(i));
    }
    const kmb::sim::BatchSettings settings{KMB_SIM_PATH, kmb::sim::scratch_folder(), kJobs, kWallLimitS};
    for (auto _ : state) {
        const std::vector<kmb::sim::RunOutcome> outcomes = kmb::sim::run_batch(plans, settings);
        for (const kmb::sim::RunOutcome& o : outcomes) {
            // A pass that failed or left something behind is no healthy pass to time.
            if (!o.findings.empty() || !o.result || o.result->verdicts.empty()) {
                state.SkipWithError(o.findings.empty() ? "a run gave no verdict" : o.findings.front().c_str());
                return;
            }
        }
    }
    state.counters["runs"] = benchmark::Counter(static_cast<double>(state.range(0)) * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

} // namespace

// Real time: the work is in the runs' processes, not in this one.
BENCHMARK(HealthyCampaign)->Arg(50)->Arg(1000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
