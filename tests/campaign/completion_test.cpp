// The desk's bash completion, sourced in bash as bash-completion loads it, with the build's
// programs on PATH: each program's options, the values its options take, kmb-agent's requests.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/run_sim.h"

namespace kmb::sim {
namespace {

// What the completion offers for the command line `words`, its last word being completed.
std::vector<std::string> complete(const std::vector<std::string>& words)
{
    const std::string folder = std::filesystem::path(KMB_SIM_PATH).parent_path();
    std::vector<std::string> args = {"-c",
                                     "PATH=\"$1\":$PATH; source \"$2\"; shift 2; COMP_WORDS=(\"$@\"); "
                                     "COMP_CWORD=$(($# - 1)); _kmb_desk; printf '%s\\n' \"${COMPREPLY[@]}\"",
                                     "bash", folder, KMB_COMPLETION_PATH};
    args.insert(args.end(), words.begin(), words.end());
    std::istringstream out(test::run_program("/bin/bash", args, "").out);
    std::vector<std::string> offered;
    for (std::string line; std::getline(out, line);) {
        if (!line.empty()) {
            offered.push_back(line);
        }
    }
    std::sort(offered.begin(), offered.end());
    return offered;
}

struct CompletionCase {
    std::vector<std::string> words;
    std::vector<std::string> offered; // sorted
};

const CompletionCase kCases[] = {
    {{"kmbdiag-sim", "--fault", "counter-agent-pin7"},
     {"counter-agent-pin7-stuck-high", "counter-agent-pin7-stuck-low"}},
    {{"kmbdiag-sim", "--agent=v"}, {"valdor"}},
    {{"kmbdiag-sim", "--speed", ""}, {}},
    {{"kmbdiag-campaign", "--se"}, {"--seed"}},
    {{"kmbdiag-campaign", "--r"}, {"--report-dir", "--runs"}},
    {{"kmb-agentd-sim", "--agent-"}, {"--agent-event", "--agent-refuse"}},
    {{"kmb-agentd-sim", "--fault", "lm77-read"}, {"lm77-read-fails"}},
    {{"kmb-seld-sim", "--agent"}, {"--agent"}},
    {{"kmb-seld-sim", "--fault=iox-n"}, {"iox-nack"}},
    {{"kmb-agent", "--k"}, {"--key"}},
    {{"kmb-agent", "power_"}, {"power_cycle", "power_off", "power_on"}},
    {{"kmb-agent", "rd_info"}, {"rd_info", "rd_info_reg"}},
    {{"kmb-agent", "lm77", "q"}, {"query"}},
    {{"kmb-agent", "--key", "15", "--state", "/tmp/card", "sel", "r"}, {"records"}},
    {{"kmb-agent", "reset", ""}, {}},
};

TEST(DeskCompletion, OffersEachProgramsOptionsValuesAndRequests)
{
    for (const CompletionCase& c : kCases) {
        std::string line;
        for (const std::string& w : c.words) {
            line += w + ' ';
        }
        EXPECT_EQ(complete(c.words), c.offered) << line;
    }
}

TEST(DeskCompletion, AFolderOptionOffersFoldersOnly)
{
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "completion";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "card-a");
    std::ofstream(dir / "card-b") << "a file, no card\n";
    EXPECT_EQ(complete({"kmb-seld-sim", "--state", (dir / "card-").string()}),
              std::vector<std::string>{(dir / "card-a").string()});
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace kmb::sim
