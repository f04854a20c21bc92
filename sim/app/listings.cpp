#include "sim/app/listings.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "sim/app/options.h"
#include "sim/core/fault_groups.h"

namespace kmb::sim {

namespace {

// The column of the help texts: "  -h, --help" and "      --state DIR" fit before it.
constexpr int kHelpColumn = 26;

std::string option_left(const OptionInfo& o)
{
    std::string left = o.short_name != '\0' ? std::string("  -") + o.short_name + ", --" : std::string("      --");
    left += o.name;
    if (o.value != nullptr) {
        left += std::string(" ") + o.value;
    }
    return left;
}

} // namespace

void print_help(FILE* out)
{
    std::fprintf(out,
                 "Usage: kmbdiag-sim [OPTION]...\n"
                 "Runs the KMB card diagnostic on a simulated card in its test fixture; the console is\n"
                 "standard input and output.\n\n");
    for (const OptionInfo& o : sim_options()) {
        const std::string left = option_left(o);
        std::string_view help = o.help;
        for (bool first = true; first || !help.empty(); first = false) {
            const std::size_t nl = std::min(help.find('\n'), help.size());
            const std::string line(help.substr(0, nl));
            std::fprintf(out, "%-*s  %s\n", kHelpColumn, first ? left.c_str() : "", line.c_str());
            help.remove_prefix(std::min(nl + 1, help.size()));
        }
    }
    std::fprintf(out,
                 "\nNumbers are decimal; X, SECONDS and C may have a fraction after a point.\n"
                 "A long option may be shortened to any unique beginning, and its value given as\n"
                 "--option=VALUE; '--' ends the options.\n\n"
                 "Exit status:\n"
                 " 0  after --help, --version or --list-faults\n"
                 " 1  the diagnostic ended: Exit, or the end of input, or no test fixture\n"
                 " 2  a bad option or value, or a state folder that cannot be used\n"
                 " 3  the card reset (the reset tests); the next start gives the verdict\n"
                 "A Ctrl-C before the diagnostic has its handler ends the run by SIGINT, as on the card\n"
                 "(a shell shows 130).\n");
}

void list_faults(FILE* out)
{
    std::size_t width = 0;
    for (const FaultInfo& f : fault_catalogue()) {
        width = std::max(width, std::string_view(f.name).size());
    }
    bool first = true;
    for (const FaultGroupInfo& g : fault_groups()) {
        bool heading = false;
        for (const FaultInfo& f : fault_catalogue()) {
            if (fault_group(f.fault) != g.group) {
                continue;
            }
            if (!heading) {
                std::fprintf(out, "%sSeen by %s:\n", first ? "" : "\n", g.seen_by);
                heading = true;
                first = false;
            }
            std::fprintf(out, "  %-*s  %s\n", static_cast<int>(width), f.name, f.meaning);
        }
    }
}

} // namespace kmb::sim
