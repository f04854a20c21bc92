#include "sim/campaign/run_plan.h"

#include <cstdio>

#include "sim/core/fault_groups.h"

namespace kmb::sim {

namespace {

// The draws, and how likely each is. Most runs carry a fault; some stay healthy, so that a
// false alarm on a good card is found too.
constexpr int kMaxFaults = 2;
constexpr int kMaxChoices = 3;
// The menus a drawn script runs: the comprehensive test and each test of its own. The reset
// tests end the run and give their verdict only at the next start, which a campaign's fresh
// card never has.
constexpr int kMenuChoices[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
// Windows start within the first minute of card time, where a script's tests run: a test
// takes from one second to a quarter of a minute.
constexpr int64_t kMaxWindowStartMs = 60000;
constexpr int64_t kMaxWindowMs = 20000;
constexpr long long kFirstStartTime = 1600000000; // 2020-09-13, a day of no meaning
constexpr long long kStartTimeSpan = 300000000;

// SplitMix64: small, fast and the same on every machine and library, which the standard
// library's distributions are not.
class Draws {
public:
    explicit Draws(uint64_t state) : state_(state) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 <= n < bound
    int64_t below(int64_t bound) { return static_cast<int64_t>(next() % static_cast<uint64_t>(bound)); }

private:
    uint64_t state_;
};

// Faults whose test a drawn script can reach; the reset tests' faults show only at a next start.
bool drawable(Fault f)
{
    const FaultGroup g = fault_group(f);
    return g != FaultGroup::Watchdog && g != FaultGroup::CounterAgentReset;
}

std::string seconds_text(int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

// Single quotes for the shell; the input holds none, but a quote is closed and escaped anyway.
std::string printf_argument(const std::string& input)
{
    std::string out = "'";
    for (char c : input) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\'') {
            out += "'\\''";
        } else if (c == '\\' || c == '%') {
            out += c;
            out += c;
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string shell_quoted(const std::string& word)
{
    std::string out = "'";
    for (char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

} // namespace

RunPlan draw_run(uint64_t seed, int number)
{
    Draws draws(seed ^ (0xD1B54A32D192ED03ULL * static_cast<uint64_t>(number + 1)));
    RunPlan plan{seed, number, kFirstStartTime + draws.below(kStartTimeSpan), {}, "kmb\n"};
    const int64_t faults = draws.below(kMaxFaults + 1);
    const auto catalogue = fault_catalogue();
    for (int64_t i = 0; i < faults; ++i) {
        const Fault f = catalogue[static_cast<std::size_t>(draws.below(static_cast<int64_t>(catalogue.size())))].fault;
        if (!drawable(f)) {
            continue;
        }
        PlannedFault p{f, draws.below(2) == 0, 0, 0};
        if (!p.whole_run) {
            p.from_ms = draws.below(kMaxWindowStartMs);
            p.to_ms = p.from_ms + 1 + draws.below(kMaxWindowMs);
        }
        plan.faults.push_back(p);
    }
    const int64_t choices = 1 + draws.below(kMaxChoices);
    for (int64_t i = 0; i < choices; ++i) {
        plan.input += std::to_string(kMenuChoices[draws.below(std::size(kMenuChoices))]) + "\n";
    }
    plan.input += "99\nexit\n";
    return plan;
}

RunPlan healthy_run(int number)
{
    return RunPlan{0, number, kFirstStartTime, {}, "kmb\n1\n99\nexit\n"};
}

std::vector<std::string> sim_arguments(const RunPlan& plan)
{
    std::vector<std::string> args = {"--speed", "0", "--start-time", std::to_string(plan.start_time)};
    for (const PlannedFault& p : plan.faults) {
        std::string value = fault_info(p.fault).name;
        if (!p.whole_run) {
            value += "@" + seconds_text(p.from_ms) + "-" + seconds_text(p.to_ms);
        }
        args.insert(args.end(), {"--fault", value});
    }
    return args;
}

std::string replay_line(const RunPlan& plan, const std::string& report_path)
{
    // A subshell, so that the line pasted into an engineer's own shell does not end that shell.
    std::string line = "(d=$(mktemp -d) && printf " + printf_argument(plan.input) + " | kmbdiag-sim";
    for (const std::string& a : sim_arguments(plan)) {
        line += " " + a;
    }
    line += " --state \"$d\"";
    if (!report_path.empty()) {
        line += " --report " + shell_quoted(report_path);
    }
    return line + "; s=$?; rm -rf \"$d\"; exit $s)";
}

} // namespace kmb::sim
