// kmbdiag-campaign: seeded campaigns of kmbdiag-sim runs, and the summary of their reports.
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "sim/campaign/campaign_options.h"
#include "sim/campaign/summary.h"
#include "sim/core/config.h"

namespace {

using namespace kmb::sim;

constexpr int kNoneFlagged = 0;
constexpr int kFlagged = 1;

// The kmbdiag-sim of the same build or installation: the one beside this program.
std::string sibling_sim()
{
    char self[PATH_MAX] = "";
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    const std::size_t slash = path.rfind('/');
    return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/kmbdiag-sim";
}

std::string report_name(const CampaignOptions& o, int run)
{
    return o.report_dir + "/run-" + std::to_string(o.seed) + "-" + std::to_string(run) + ".json";
}

std::vector<RunPlan> plans_of(const CampaignOptions& o)
{
    std::vector<RunPlan> plans;
    for (int i = 0; i < o.runs; ++i) {
        plans.push_back(draw_run(o.seed, i));
    }
    return plans;
}

int run_campaign(const CampaignOptions& o)
{
    const std::vector<RunPlan> plans = plans_of(o);
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    const BatchSettings settings{o.sim_path.empty() ? sibling_sim() : o.sim_path, scratch_folder(),
                                 o.jobs > 0 ? o.jobs : static_cast<int>(cores > 0 ? cores : 1), o.wall_limit_s};
    const std::vector<RunOutcome> outcomes = run_batch(plans, settings);
    std::size_t flagged = 0;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const std::string title = "run " + std::to_string(i) + " of seed " + std::to_string(o.seed);
        print_run(stdout, title, outcomes[i], replay_line(plans[i]));
        flagged += outcomes[i].findings.empty() ? 0 : 1;
    }
    print_totals(stdout, plans.size(), flagged);
    return flagged == 0 ? kNoneFlagged : kFlagged;
}

int summarize(const CampaignOptions& o)
{
    std::size_t flagged = 0;
    bool unreadable = false;
    for (const std::string& file : o.files) {
        FILE* in = std::fopen(file.c_str(), "rb");
        std::string text(kMaxReportBytes + 1, '\0');
        const std::size_t n = in != nullptr ? std::fread(text.data(), 1, text.size(), in) : 0;
        text.resize(n);
        std::string error = in != nullptr ? "" : "cannot be opened";
        if (in != nullptr) {
            std::fclose(in);
        }
        const std::optional<RunResult> result = error.empty() ? parse_run_report(text, error) : std::nullopt;
        if (!result) {
            std::fprintf(stderr, "kmbdiag-campaign: %s: %s\n", file.c_str(), error.c_str());
            unreadable = true;
            continue;
        }
        const RunOutcome outcome = outcome_of_report(*result);
        print_run(stdout, file, outcome, "");
        flagged += outcome.findings.empty() ? 0 : 1;
    }
    print_totals(stdout, o.files.size(), flagged);
    return unreadable ? kCampaignBadUsage : flagged == 0 ? kNoneFlagged : kFlagged;
}

} // namespace

int main(int argc, char** argv)
{
    CampaignOptions o;
    if (const int status = parse_campaign_options(argc, argv, o, stderr); status != 0) {
        return status;
    }
    switch (o.request) {
    case CampaignRequest::Help:
        print_campaign_help(stdout);
        return 0;
    case CampaignRequest::Version:
        std::printf("kmbdiag-campaign %s\n", kDiagnosticRelease);
        return 0;
    case CampaignRequest::PrintRuns:
        for (const RunPlan& plan : plans_of(o)) {
            std::printf("%s\n", replay_line(plan, report_name(o, plan.number)).c_str());
        }
        return 0;
    case CampaignRequest::Summarize:
        return summarize(o);
    case CampaignRequest::Run:
        break;
    }
    return run_campaign(o);
}
