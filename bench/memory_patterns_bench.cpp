// The memory test's four pattern tests over a 256 MiB block, beside the same amount of writing
// and reading done as plain loops (memset and a read-sum) on the same block. The counter
// `ratio` is the pattern tests' time over the plain loops' time: the aim is 1.1 or less.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "board/memory.h"

namespace {

constexpr uint32_t kSpan = 256u * 1024 * 1024;
// Write and read passes of the four tests: the address test's one each and the fill test's three;
// the data bus and pattern tests touch two words.
constexpr int kPasses = 4;

// The spinner steps would scatter over the benchmark's report.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }

private:
    int saved_ = -1;
};

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_PatternTestsAgainstPlainLoops(benchmark::State& state)
{
    auto* block = static_cast<uint32_t*>(std::malloc(kSpan));
    if (block == nullptr) {
        state.SkipWithError("no 256 MiB block on this machine");
        return;
    }
    std::memset(block, 0, kSpan); // every page in place before the clock runs
    double patterns = 0;
    double plain = 0;
    int failures = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        {
            QuietStdout quiet;
            failures += kmb::mem_address_test(block, kSpan) + kmb::mem_data_bus_test(block, kSpan) +
                        kmb::mem_fill_test(block, kSpan) + kmb::mem_pattern_test(block, kSpan);
        }
        patterns += seconds_since(start);

        start = std::chrono::steady_clock::now();
        uint64_t sum = 0;
        for (int pass = 0; pass < kPasses; ++pass) {
            std::memset(block, pass, kSpan);
            benchmark::ClobberMemory();
            const uint32_t* words = block;
            for (uint32_t i = 0; i < kSpan / 4; ++i) {
                sum += words[i];
            }
        }
        benchmark::DoNotOptimize(sum);
        plain += seconds_since(start);
    }
    std::free(block);
    if (failures != 0) {
        state.SkipWithError("the pattern tests found this machine's memory faulty");
        return;
    }
    const double bytes = static_cast<double>(kSpan) * 2 * kPasses * static_cast<double>(state.iterations());
    state.counters["patterns_GBps"] = bytes / patterns / 1e9;
    state.counters["plain_GBps"] = bytes / plain / 1e9;
    state.counters["ratio"] = patterns / plain;
}

BENCHMARK(BM_PatternTestsAgainstPlainLoops)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
