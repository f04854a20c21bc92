// Many comprehensive passes in one run of the diagnostic: every pass must give the verdicts of
// the first, and the run must leave nothing behind on the card: no descriptor, no file, no
// device away from its defaults. (Heap blocks are the sanitizer build's leak checker's.)
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "devices/io_port.h"
#include "integration/card_session.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

// Descriptors of this process: the simulated card keeps real files behind its own.
int host_descriptors()
{
    std::error_code ec;
    const std::filesystem::directory_iterator fds("/proc/self/fd", ec);
    return ec ? -1 : static_cast<int>(std::distance(fds, std::filesystem::directory_iterator()));
}

// The files a run may leave: the version text is read once and stays; the revision check
// removes its log, but a card cut off between the two commands would keep it.
const std::set<std::string> kLeftByDesign = {"/tmp/diag_version", "/tmp/env.log"};

// What pass `index` (from 0) prints: the passes differ only in the progress spinner's phase.
using PassText = std::function<std::string(int index)>;

// The pass in which `out` first differs from `passes` passes after `head`, or -1.
long first_differing_pass(const std::string& out, const std::string& head, const PassText& pass, int passes)
{
    if (out.compare(0, head.size(), head) != 0) {
        return 0;
    }
    std::size_t at = head.size();
    for (int i = 0; i < passes; ++i) {
        const std::string text = pass(i);
        if (out.compare(at, text.size(), text) != 0) {
            return i + 1;
        }
        at += text.size();
    }
    return -1;
}

struct SoakCase {
    const char* name;
    std::vector<sim::Fault> faults;
    int passes;
    std::string startup;  // printed before the first menu
    PassText pass;        // what each pass prints
    std::string err_pass; // what every pass prints on standard error
};

std::vector<SoakCase> soak_cases()
{
    const PassText healthy = [](int i) { return healthy_passes(1, i * kHealthySpinnerSteps); };
    const PassText failed = [](int i) {
        return kComprehensiveStart + pass_tests(i * kHealthySpinnerSteps, {.counter_agent = kCounterAgentFailed}) +
               kComprehensiveFailed;
    };
    // Without the expander nothing drives the agent's lines, and without the agent driver
    // nothing arms them.
    // The temperature test stops at its first check, after one spinner step.
    const PassText unarmed = [](int i) {
        const int done = i * (kHealthySpinnerSteps - kTemperatureSteps + 1);
        return kComprehensiveStart +
               pass_tests(done, {.counter_agent = kCounterAgentFailed,
                                              .temperature = current_temperature(25) + spinner(done + kSerialPasses, 1) +
                                                             kLm77IntMissed + kTemperatureFailed,
                                              .agent_i2c = kAgentI2cFailed,
                                              .agent_irq = kIrqMissed + kAgentIrqFailed,
                                              .agent_iirq = kIirqMissed + kAgentIirqFailed,
                                              .temperature_steps = 1}) +
               kComprehensiveFailed;
    };
    return {
        {"healthy", {}, 1000, "", healthy, ""},
        // No lamps, pin 7 shorted, no agent driver: every pass fails the same way and the
        // missing expander costs a warning at start-up only.
        {"no_expander_pin7_no_agentdrv",
         {sim::Fault::IoxAbsent, sim::Fault::CounterAgentPin7StuckLow, sim::Fault::AgentdrvAbsent},
         100,
         kNoIoExpander,
         unarmed,
         ""},
        // The counter agent gone and a stuck latch that nobody reaches: the open fails in
        // every pass and says so each time.
        {"no_counter_agent_stuck_latch",
         {sim::Fault::CounterAgentAbsent, sim::Fault::CounterAgentOutputBit0Stuck},
         100,
         "",
         failed,
         "Error open i2c device: No such device or address\n"},
    };
}

void PrintTo(const SoakCase& c, std::ostream* os) { *os << c.name; }

// A count that stopped counting would loop for ever; the operator's Ctrl-C, far beyond the
// last pass, ends such a run so that it fails on its pass count instead.
constexpr int64_t kOperatorGivesUpUs = 1'000'000LL * 1'000'000;

// The smallest card memory on which the memory test passes: a thousand passes of it must not
// cost a thousand times the largest block.
constexpr unsigned kSoakRamMib = 13;

class Soak : public ::testing::TestWithParam<SoakCase> {};

TEST_P(Soak, EveryPassGivesTheSameVerdictsAndNothingIsLeftBehind)
{
    const SoakCase& c = GetParam();
    sim::SimConfig config;
    config.faults = c.faults;
    config.ram_mib = kSoakRamMib;
    SimCard card(config);
    card.card().trace().enable(false); // a soak must not grow the trace
    const std::set<std::string> files_before = card_files(card);
    const int descriptors_before = host_descriptors();
    card.card().clock().after(kOperatorGivesUpUs, [] { std::raise(SIGINT); }, true);

    const std::string console =
        "stop no\ncount " + std::to_string(c.passes) + "\nloop yes\nall\nexit\n";
    const Session s = run_diagnostic(card, console);

    const std::string head = c.startup + kFreshCpld + top_cycle() + "[Disabled] Stop on error\n" + top_cycle() + "Count = " +
                             std::to_string(c.passes) + "\n" + top_cycle() + "[Enabled] Diagnostic looping\n" +
                             top_cycle();
    EXPECT_EQ(first_differing_pass(s.out, head, c.pass, c.passes), -1) << "the run went astray in that pass";
    EXPECT_EQ(s.out.size(), head.size() + c.pass(0).size() * static_cast<std::size_t>(c.passes) + top_cycle().size())
        << "more or fewer passes than the count";
    std::string err;
    for (int i = 0; i < c.passes; ++i) {
        err += c.err_pass;
    }
    EXPECT_EQ(s.err, err);
    EXPECT_EQ(s.exit_status, 1);

    EXPECT_EQ(card.os().open_descriptor_count(), 0) << card.os().open_descriptor_names();
    EXPECT_EQ(card.card().ram().blocks_in_use(), 0u) << "the memory test kept a block";
    EXPECT_EQ(host_descriptors(), descriptors_before) << "the simulated card kept host files open";
    for (const std::string& f : card_files(card)) {
        EXPECT_TRUE(files_before.count(f) != 0 || kLeftByDesign.count(f) != 0) << "left on the card: " << f;
    }
    for (const std::string& f : files_before) {
        EXPECT_TRUE(card.card().fs().exists(f)) << f << " went missing";
    }

    // The counter agent is back at its defaults, whatever the passes did to it.
    if (!card.card().faults().enabled(sim::Fault::CounterAgentAbsent)) {
        const sim::Pca9557& ca = card.card().fixture().counter_agent();
        EXPECT_EQ(ca.read_register(REG_POLARITY), CA_DEFAULT_POLARITY);
        EXPECT_EQ(ca.read_register(REG_CONFIG), CA_DEFAULT_CONFIG);
    }
    if (c.faults.empty()) {
        EXPECT_TRUE(card.card().fixture().pass_lamp());
        EXPECT_FALSE(card.card().fixture().fail_lamp());
    }
}

INSTANTIATE_TEST_SUITE_P(Card, Soak, ::testing::ValuesIn(soak_cases()),
                         [](const ::testing::TestParamInfo<SoakCase>& info) { return info.param.name; });

} // namespace
} // namespace kmb::test
