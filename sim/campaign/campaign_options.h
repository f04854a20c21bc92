// kmbdiag-campaign's command line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kmb::sim {

enum class CampaignRequest { Run, PrintRuns, Summarize, Help, Version };

struct CampaignOptions {
    CampaignRequest request = CampaignRequest::Run;
    uint64_t seed = 0;
    bool seed_given = false;
    int runs = 0;
    int jobs = 0;              // 0: one a core
    double wall_limit_s = 60;
    std::string sim_path;      // empty: the kmbdiag-sim beside this program
    std::string report_dir = ".";
    std::vector<std::string> files; // --summarize's reports
};

constexpr int kCampaignBadUsage = 2;

// 0 and the options, or kCampaignBadUsage after a message on `err`.
int parse_campaign_options(int argc, char** argv, CampaignOptions& options, FILE* err);
void print_campaign_help(FILE* out);

} // namespace kmb::sim
