#include "sim/campaign/campaign_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <getopt.h>

namespace kmb::sim {

namespace {

constexpr const char* kProgram = "kmbdiag-campaign";
constexpr long long kMaxRuns = 10'000'000;
constexpr long long kMaxJobs = 1024;
constexpr double kMaxWallLimit = 86400;

enum LongOnly { kSim = 256, kTimeout, kPrintRuns, kSummarize, kReportDir };

constexpr option kLongOptions[] = {
    {"seed", required_argument, nullptr, 's'},
    {"runs", required_argument, nullptr, 'n'},
    {"jobs", required_argument, nullptr, 'j'},
    {"timeout", required_argument, nullptr, kTimeout},
    {"sim", required_argument, nullptr, kSim},
    {"print-runs", no_argument, nullptr, kPrintRuns},
    {"report-dir", required_argument, nullptr, kReportDir},
    {"summarize", no_argument, nullptr, kSummarize},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

bool whole_number(const char* text, long long min, long long max, long long& out)
{
    if (text[0] < '0' || text[0] > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long n = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || n > static_cast<unsigned long long>(max) || static_cast<long long>(n) < min) {
        return false;
    }
    out = static_cast<long long>(n);
    return true;
}

bool seed_number(const char* text, uint64_t& out)
{
    if (text[0] < '0' || text[0] > '9') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    out = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0';
}

int bad(FILE* err, const char* what, const char* value)
{
    std::fprintf(err, "%s: %s: '%s'\nTry '%s --help'.\n", kProgram, what, value, kProgram);
    return kCampaignBadUsage;
}

int apply(int c, const char* value, CampaignOptions& o, FILE* err)
{
    long long n = 0;
    switch (c) {
    case 's':
        o.seed_given = seed_number(value, o.seed);
        return o.seed_given ? 0 : bad(err, "--seed takes a whole number below 2^64", value);
    case 'n':
        return whole_number(value, 1, kMaxRuns, n) ? (o.runs = static_cast<int>(n), 0)
                                                   : bad(err, "--runs takes a whole number from 1 to 10000000", value);
    case 'j':
        return whole_number(value, 1, kMaxJobs, n) ? (o.jobs = static_cast<int>(n), 0)
                                                   : bad(err, "--jobs takes a whole number from 1 to 1024", value);
    case kTimeout: {
        char* end = nullptr;
        const double s = std::strtod(value, &end);
        if (end == value || *end != '\0' || !(s > 0 && s <= kMaxWallLimit)) {
            return bad(err, "--timeout takes seconds above 0, at most 86400", value);
        }
        o.wall_limit_s = s;
        return 0;
    }
    case kSim:
    case kReportDir:
        if (value[0] == '\0') {
            return bad(err, c == kSim ? "--sim needs a program" : "--report-dir needs a folder", value);
        }
        (c == kSim ? o.sim_path : o.report_dir) = value;
        return 0;
    case kPrintRuns:
        o.request = CampaignRequest::PrintRuns;
        return 0;
    case kSummarize:
        o.request = CampaignRequest::Summarize;
        return 0;
    case 'h':
        o.request = CampaignRequest::Help;
        return 0;
    case 'V':
        o.request = CampaignRequest::Version;
        return 0;
    default:
        std::fprintf(err, "Try '%s --help'.\n", kProgram);
        return kCampaignBadUsage;
    }
}

int check_request(CampaignOptions& o, FILE* err)
{
    if (o.request == CampaignRequest::Help || o.request == CampaignRequest::Version) {
        return 0;
    }
    if (o.request == CampaignRequest::Summarize) {
        if (o.files.empty()) {
            std::fprintf(err, "%s: --summarize needs report files\nTry '%s --help'.\n", kProgram, kProgram);
            return kCampaignBadUsage;
        }
        return 0;
    }
    if (!o.files.empty()) {
        return bad(err, "an operand needs --summarize", o.files.front().c_str());
    }
    if (!o.seed_given || o.runs == 0) {
        std::fprintf(err, "%s: --seed and --runs are needed\nTry '%s --help'.\n", kProgram, kProgram);
        return kCampaignBadUsage;
    }
    return 0;
}

} // namespace

int parse_campaign_options(int argc, char** argv, CampaignOptions& o, FILE* err)
{
    optind = 0; // a fresh scan, as a test parses more than one command line
    opterr = 1;
    int c = 0;
    while ((c = getopt_long(argc, argv, "+s:n:j:hV", kLongOptions, nullptr)) != -1) {
        if (const int status = apply(c, optarg, o, err); status != 0) {
            return status;
        }
    }
    for (int i = optind; i < argc; ++i) {
        o.files.emplace_back(argv[i]);
    }
    return check_request(o, err);
}

void print_campaign_help(FILE* out)
{
    std::fprintf(out,
                 "Usage: kmbdiag-campaign --seed S --runs N [OPTION]...\n"
                 "  or:  kmbdiag-campaign --summarize REPORT...\n"
                 "Draws N runs of the diagnostic from the seed S (faults, their windows of card time, the\n"
                 "operator's script), runs each on a fresh simulated card as its own kmbdiag-sim, and says\n"
                 "per run which faults fired, the verdicts, whether the diagnostic saw what the fault\n"
                 "coverage report says it sees, and the command line that replays the run.\n\n"
                 "  -s, --seed S            the campaign's seed; the same seed gives the same runs\n"
                 "  -n, --runs N            how many runs\n"
                 "  -j, --jobs J            runs at a time (default: one a core)\n"
                 "      --timeout SECONDS   wall time a run may take before it is called hung (60)\n"
                 "      --sim PROGRAM       the kmbdiag-sim to run (default: the one beside this program)\n"
                 "      --print-runs        print the runs' command lines, one a line, and run none\n"
                 "      --report-dir DIR    where --print-runs' lines write their reports (.)\n"
                 "      --summarize         read the reports named as operands into the summary\n"
                 "  -h, --help              show this help and exit\n"
                 "  -V, --version           show the version and exit\n\n"
                 "Exit status:\n"
                 " 0  no run flagged\n"
                 " 1  a run flagged: a crash, a hang, something left behind, or a verdict that\n"
                 "    contradicts the faults that fired\n"
                 " 2  a bad option or value, or a report that cannot be read\n");
}

} // namespace kmb::sim
