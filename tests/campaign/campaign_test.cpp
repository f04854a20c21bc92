// kmbdiag-campaign end to end: a short campaign with a fixed seed, the same seed giving the
// same runs, a replay line giving the run's verdicts, and what a bad simulator is flagged for.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "sim/campaign/run_batch.h"
#include "sim/core/faults.h"
#include "support/run_sim.h"

namespace kmb::sim {
namespace {

using test::run_program;

constexpr const char* kSeed = "20261207";

// A replay or printed run's shell line, with the build's kmbdiag-sim first on PATH.
void run_line(const std::string& line)
{
    const std::string folder = std::filesystem::path(KMB_SIM_PATH).parent_path();
    run_program("/bin/sh", {"-c", "PATH='" + folder + "':\"$PATH\"; " + line}, "");
}

TEST(Campaign, AShortCampaignWithAFixedSeedFlagsNothing)
{
    const test::SimRun run =
        run_program(KMB_CAMPAIGN_PATH, {"--seed", kSeed, "--runs", "12", "--sim", KMB_SIM_PATH}, "");
    EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("12 runs, 0 flagged"), std::string::npos) << run.out;
}

TEST(Campaign, TheSameSeedGivesTheSameRuns)
{
    const auto runs = [](const char* seed, const char* n) {
        return run_program(KMB_CAMPAIGN_PATH, {"--seed", seed, "--runs", n, "--print-runs"}, "").out;
    };
    const std::string twelve = runs(kSeed, "12");
    EXPECT_EQ(std::count(twelve.begin(), twelve.end(), '\n'), 12);
    EXPECT_EQ(twelve, runs(kSeed, "12"));
    EXPECT_NE(twelve, runs("20261208", "12"));
    // Run k is run k however many runs the campaign has.
    EXPECT_TRUE(twelve.starts_with(runs(kSeed, "5")));
}

// What a replay must give again: the exit status, and each verdict at its card time.
std::vector<std::tuple<std::string, bool, double>> verdicts_of(const RunResult& r)
{
    std::vector<std::tuple<std::string, bool, double>> out = {{"exit status", true, r.exit_status}};
    for (const ReportedVerdict& v : r.verdicts) {
        out.emplace_back(v.test, v.passed, v.card_seconds);
    }
    return out;
}

TEST(Campaign, AReplayLineGivesTheRunsVerdicts)
{
    const std::filesystem::path report = std::filesystem::path(testing::TempDir()) / "campaign-replay.json";
    std::vector<RunPlan> plans;
    for (int i = 0; i < 6; ++i) {
        plans.push_back(draw_run(20261207, i));
    }
    const std::vector<RunOutcome> outcomes = run_batch(plans, {KMB_SIM_PATH, testing::TempDir(), 2, 60});
    for (std::size_t i = 0; i < plans.size(); ++i) {
        ASSERT_TRUE(outcomes[i].result) << i;
        const std::string line = replay_line(plans[i], report.string());
        run_line(line);
        std::ifstream in(report);
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        const std::optional<RunResult> replayed = parse_run_report(text.str(), error);
        ASSERT_TRUE(replayed) << line << ": " << error;
        EXPECT_EQ(verdicts_of(*outcomes[i].result), verdicts_of(*replayed)) << line;
        std::filesystem::remove(report);
    }
}

TEST(Campaign, SummarizeReadsTheReportsOfPrintedRunsBack)
{
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "campaign-reports";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const test::SimRun printed =
        run_program(KMB_CAMPAIGN_PATH, {"--seed", kSeed, "--runs", "3", "--print-runs", "--report-dir", dir}, "");
    std::istringstream lines(printed.out);
    std::vector<std::string> reports;
    for (std::string line; std::getline(lines, line);) {
        run_line(line);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        reports.push_back(entry.path());
    }
    ASSERT_EQ(reports.size(), 3u) << printed.out;
    std::vector<std::string> args = {"--summarize"};
    args.insert(args.end(), reports.begin(), reports.end());
    const test::SimRun summary = run_program(KMB_CAMPAIGN_PATH, args, "");
    EXPECT_EQ(summary.exit_status, 0) << summary.out;

    // A report of a failure on a card where no fault fired is flagged.
    std::ofstream(dir / "false-alarm.json")
        << R"({"exit_status": 1, "faults": [],
              "verdicts": [{"test": "Memory test", "verdict": "FAILED", "card_seconds": 2.5}]})";
    const test::SimRun flagged = run_program(KMB_CAMPAIGN_PATH, {"--summarize", (dir / "false-alarm.json").string()}, "");
    EXPECT_EQ(flagged.exit_status, 1) << flagged.out;
    EXPECT_NE(flagged.out.find("FLAGGED"), std::string::npos) << flagged.out;
    std::filesystem::remove_all(dir);
}

struct FindingReplay {
    RunPlan plan;
    const char* test; // the test whose verdict the fault's window met
    bool passed;
    bool fired;
};

// Campaigns' findings, each replayed in its window and with its fault on all along:
// - lm77-read-fails in a window inside menu 5 that meets only the reads whose value the
//   temperature test throws away: the test passes, as it fails when every read fails;
// - mem-tiny in a window after start-up: the card's memory was set when it started, so the
//   memory test's last probe, refused on every card, is no sign of the fault.
// No run is flagged.
const FindingReplay kFindings[] = {
    {{0, 0, 1654388150, {{Fault::Lm77ReadFails, false, 15921, 24939}, {Fault::IptablesAbsent, true, 0, 0}}, "kmb\n5\n3\n99\nexit\n"},
     "Temperature sensor test", true, true},
    {{0, 0, 1654388150, {{Fault::Lm77ReadFails, true, 0, 0}, {Fault::IptablesAbsent, true, 0, 0}}, "kmb\n5\n3\n99\nexit\n"},
     "Temperature sensor test", false, true},
    {{0, 0, 1790598487, {{Fault::MemTiny, false, 45210, 50760}}, "kmb\n1\n99\nexit\n"}, "Memory test", true, false},
    {{0, 0, 1790598487, {{Fault::MemTiny, true, 0, 0}}, "kmb\n1\n99\nexit\n"}, "Memory test", false, true},
};

TEST(Campaign, FindingsReplayWithoutAContradiction)
{
    for (const FindingReplay& f : kFindings) {
        const std::vector<RunOutcome> out = run_batch({f.plan}, {KMB_SIM_PATH, testing::TempDir(), 1, 60});
        const std::string line = replay_line(f.plan);
        ASSERT_TRUE(out.at(0).result) << line;
        EXPECT_EQ(out[0].findings, std::vector<std::string>{}) << line;
        const std::vector<ReportedVerdict>& verdicts = out[0].result->verdicts;
        const auto verdict = std::find_if(verdicts.begin(), verdicts.end(),
                                          [&](const ReportedVerdict& v) { return v.test == f.test; });
        ASSERT_NE(verdict, verdicts.end()) << line;
        EXPECT_EQ(verdict->passed, f.passed) << line;
        const std::string name = fault_info(f.plan.faults.front().fault).name;
        const auto fault = std::find_if(out[0].result->faults.begin(), out[0].result->faults.end(),
                                        [&](const ReportedFault& r) { return r.name == name; });
        ASSERT_NE(fault, out[0].result->faults.end()) << line;
        EXPECT_EQ(fault->first_fired.has_value(), f.fired) << line;
    }
}

struct BadSim {
    const char* script;
    const char* finding;
};

// Stand-ins for a simulator gone wrong: each must be flagged for what it did.
const BadSim kBadSims[] = {
    {"sleep 30", "hung"},
    {"kill -SEGV $$", "crashed: signal 11"},
    {"sleep 30 & exit 1", "left processes running"},
    {"echo 'kmbdiag-sim: the program left behind:' >&2; exit 1", "the simulator reports"},
    {"exit 1", "no report"},
    {"exit 2", "exit status 2"},
};

TEST(Campaign, FlagsASimulatorThatCrashesHangsOrLeavesSomethingBehind)
{
    const std::filesystem::path sim = std::filesystem::path(testing::TempDir()) / "campaign-bad-sim";
    for (const BadSim& bad : kBadSims) {
        std::ofstream(sim) << "#!/bin/sh\n" << bad.script << "\n";
        std::filesystem::permissions(sim, std::filesystem::perms::owner_all);
        const std::vector<RunOutcome> out = run_batch({healthy_run(0)}, {sim.string(), testing::TempDir(), 1, 0.5});
        bool found = false;
        for (const std::string& f : out.at(0).findings) {
            found = found || f.starts_with(bad.finding);
        }
        EXPECT_TRUE(found) << bad.script;
    }
    std::filesystem::remove(sim);
}

} // namespace
} // namespace kmb::sim
