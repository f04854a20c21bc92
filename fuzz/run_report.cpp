// kmbdiag-campaign --summarize's reading of a run's --report file, and its judgement and
// summary of what it read. Whatever the file holds, the reader gives a run or an error, never
// both, and nothing it accepts breaks the judgement or the summary.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/campaign/summary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto run = kmb::sim::parse_run_report(text, error);
    if (!run) {
        if (error.empty()) {
            std::abort();
        }
        return 0;
    }
    if (!error.empty() || run->exit_status < -1 || run->exit_status > 255) {
        std::abort();
    }
    static FILE* const sink = std::fopen("/dev/null", "w");
    kmb::sim::print_run(sink, "report", kmb::sim::outcome_of_report(*run), "");
    return 0;
}
