// Runs a campaign's runs, each as its own kmbdiag-sim process on a fresh card (a state folder
// of its own, removed after), a number at a time, each within a wall-time limit.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/campaign/run_plan.h"
#include "sim/campaign/run_result.h"

namespace kmb::sim {

struct BatchSettings {
    std::string sim_path;      // the kmbdiag-sim to run
    std::string work_dir;      // where the runs' folders are made: see scratch_folder()
    int jobs = 2;
    double wall_limit_s = 60;  // a run still going after this is hung, and killed
};

struct RunOutcome {
    std::optional<RunResult> result; // none when the run wrote no readable report
    std::vector<std::string> findings; // a crash, a hang, a leftover, a contradiction
};

// Where a campaign makes its runs' folders: $TMPDIR when it names a folder, else /dev/shm
// when this machine has one to write in, else /tmp. A simulator keeps its state with an fsync
// a file; on a disk that others share those cost a run more wall time than all its CPU, and a
// run's card is thrown away after it anyway.
std::string scratch_folder();

// One outcome per plan, in the plans' order. Setting up a run that fails (no folder, no
// process) is a finding of that run, never a reason to stop the others.
std::vector<RunOutcome> run_batch(const std::vector<RunPlan>& plans, const BatchSettings& settings);

} // namespace kmb::sim
