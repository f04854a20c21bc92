// One healthy comprehensive pass per iteration on a simulated card at speed 0. The counter
// card_seconds, a rate, says how many seconds of the card's own time the simulator gets through
// in a second of wall time: how much faster than the card a soak or a fuzzer can go.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

#include "board/io_expander.h"
#include "diag/options.h"
#include "menu/sequences.h"
#include "sim/card/installed_card.h"
#include "sim/core/config.h"
#include "sim/storage/scratch_folder.h"

namespace {

// The diagnostic prints for an operator; the benchmark's own report must stay readable.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_;
};

void ComprehensivePass(benchmark::State& state)
{
    const kmb::sim::ScratchFolder folder(std::filesystem::temp_directory_path(), "kmb-bench");
    kmb::sim::SimConfig config;
    config.state_dir = folder.path().string();
    config.speed = 0;
    kmb::sim::InstalledCard installed(config);
    kmb::sim::Card& card = installed.card();
    kmb::set_default_options();

    int failures = 0;
    int64_t card_us = 0;
    {
        QuietStdout quiet;
        kmb::io_expander_init();
        for (auto _ : state) {
            const int64_t before = card.clock().now_us();
            failures += kmb::comprehensive_test() != 0 ? 1 : 0;
            card_us += card.clock().now_us() - before;
        }
    }
    if (failures != 0) {
        state.SkipWithError("a healthy card failed the comprehensive test");
    }
    state.counters["card_seconds"] = benchmark::Counter(static_cast<double>(card_us) / 1e6,
                                                            benchmark::Counter::kIsRate);
    state.counters["card_s_per_pass"] =
        benchmark::Counter(static_cast<double>(card_us) / 1e6, benchmark::Counter::kAvgIterations);
}
BENCHMARK(ComprehensivePass)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace
