// What the diagnostic can diagnose: every fault of the simulator's catalogue, switched on
// alone, runs through start-up, the counter agent bus test (menu 3) and the comprehensive test.
// Each fault must be detected where the card reports it, in the operator's own words, or stand
// in the list of known gaps with its reason. The matrix of what the operator sees is kept in
// docs/fault-coverage.md, and a test holds that file to what the card does today.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "integration/card_session.h"
#include "sim/faults.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

enum Part { STARTUP, MENU_3, COMPREHENSIVE, RUNS };

struct RunInfo {
    const char* title;
    const char* short_title;
    const char* console;
};

constexpr RunInfo kRuns[RUNS] = {
    {"Start-up", "start-up", "exit\n"},
    {"Counter agent i2c bus test (menu 3)", "menu 3", "kmb\n3\n99\nexit\n"},
    {"Comprehensive test", "comprehensive test", "all\nexit\n"},
};

// How a fault must show itself, per run: a text the run must print (on standard output, or
// on standard error for `err`), written from the diagnostic's own messages. An empty text asks
// nothing of that run.
struct Detection {
    const char* fault;
    std::string shows[RUNS];
    std::string err[RUNS];
};

const std::string kDefaultsHint = "Error read back output port default value\n"
                                  "expect: 0x00         read: 0x1\n";

const std::vector<Detection>& detections()
{
    static const std::vector<Detection> table = {
        // The program refuses to start, whatever was asked of it.
        {"no-fixture", {kNotInFixture, kNotInFixture, kNotInFixture}, {}},
        // No bus at all: start-up's warning, and the counter agent test cannot open it.
        {"i2c-bus-absent",
         {kNoIoExpander, kCounterAgentFailed, kCounterAgentFailed + kComprehensiveFailed},
         {"", "Error open i2c device: No such file or directory\n",
          "Error open i2c device: No such file or directory\n"}},
        // The expander drives only the lamps and the agent lines; start-up is where it shows.
        {"iox-absent", {kNoIoExpander, "", ""}, {}},
        {"counter-agent-absent",
         {"", kCounterAgentFailed, kCounterAgentFailed + kComprehensiveFailed},
         {"", "Error open i2c device: No such device or address\n",
          "Error open i2c device: No such device or address\n"}},
        // Pin 7 fails the drive-and-read-back with no message of its own before the verdict.
        {"counter-agent-pin7-stuck-low",
         {"", kmb_cycle(0) + kCounterAgentFailed, kComprehensiveStart + kCounterAgentFailed + kComprehensiveFailed},
         {}},
        {"counter-agent-output-bit0-stuck",
         {"", kDefaultsHint + kCounterAgentFailed, kDefaultsHint + kCounterAgentFailed + kComprehensiveFailed},
         {}},
    };
    return table;
}

// Faults that no test of today can detect, each with the reason. A fault leaves this list
// when a test comes to detect it; the suite says so when that happens.
const std::map<std::string, std::string>& known_gaps()
{
    static const std::map<std::string, std::string> gaps = {
        {"agentdrv-absent",
         "never fired: no test of today reaches the agent driver (the agent bus, interrupt and "
         "temperature tests that open /dev/agentdrv are still stand-ins that pass without touching the card)"},
    };
    return gaps;
}

struct Observed {
    Session session;
    bool fired = false;
    int left_open = 0;
    std::string left_open_names;
};

Observed observe(const sim::FaultInfo* fault, Part run)
{
    std::vector<sim::Fault> faults;
    if (fault != nullptr) {
        faults.push_back(fault->fault);
    }
    SimCard card(faults);
    Observed o;
    o.session = run_diagnostic(card, kRuns[run].console);
    o.fired = fault != nullptr && card.card().faults().fired(fault->fault);
    o.left_open = card.os().open_descriptor_count();
    o.left_open_names = card.os().open_descriptor_names();
    return o;
}

// The operator has been told something is wrong: a test FAILED, or start-up refused or warned.
bool shows_a_fault(const Session& s)
{
    return s.out.find("FAILED\n") != std::string::npos || s.out.find(kNotInFixture) != std::string::npos ||
           s.out.find(kNoIoExpander) != std::string::npos;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- The report ------------------------------------------------------------------------

std::string between(const std::string& text, const std::string& from, const std::string& to)
{
    std::size_t start = 0;
    if (!from.empty()) {
        start = text.find(from);
        if (start == std::string::npos) {
            return {};
        }
        start += from.size();
    }
    const std::size_t end = text.find(to, start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Lines as markdown code spans, one under the other in a table cell.
std::string cell_lines(const std::string& text, const char* prefix = "")
{
    std::string cell;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            continue;
        }
        std::string escaped;
        for (char c : line) {
            escaped += c == '|' ? std::string("\\|") : std::string(1, c);
        }
        cell += (cell.empty() ? "" : "<br>") + std::string(prefix) + "`" + escaped + "`";
    }
    return cell;
}

const std::string kMenuHeader = "\n\nKMB diagnostic menu";

// What the run printed in its own part: start-up before the first menu, the test or the
// comprehensive pass between its prompt and the next menu. Empty when the run never got there.
std::string part_of(Part run, const Session& s)
{
    if (run == STARTUP) {
        return between(s.out, "", kMenuHeader);
    }
    if (!contains(s.out, kMenuHeader)) {
        return {};
    }
    return run == MENU_3 ? between(s.out, kmb_cycle(0), "\n\nDiagnostic Test for KMB card")
                         : between(s.out, kComprehensiveStart, kMenuHeader);
}

std::string cell(Part run, const Observed& o, const std::string& startup_err)
{
    const Session& s = o.session;
    if (run != STARTUP && !contains(s.out, kMenuHeader)) {
        return "not reached: the program ends at start-up";
    }
    std::string shown = cell_lines(part_of(run, s));
    std::string err = s.err;
    if (run != STARTUP && err.compare(0, startup_err.size(), startup_err) == 0) {
        err.erase(0, startup_err.size()); // start-up's own column has those
    }
    const std::string err_lines = cell_lines(err, "stderr: ");
    if (!err_lines.empty()) {
        shown += (shown.empty() ? "" : "<br>") + err_lines;
    }
    if (shown.empty()) {
        shown = "nothing";
    }
    return shown;
}

std::string report()
{
    std::ostringstream md;
    md << "# Fault coverage\n\n"
          "Generated by `tests/integration/fault_coverage_test.cpp`; do not edit by hand. After a change of the\n"
          "diagnostic or the simulated card, regenerate it with\n\n"
          "    KMB_UPDATE_COVERAGE=1 build/tests/kmb_integration_tests --gtest_filter='FaultCoverage.*'\n\n"
          "Each fault of the simulated card's catalogue (`kmbdiag-sim --list-faults`) is switched on alone,\n"
          "and the diagnostic runs from start-up: to its first menu (start-up), through the counter agent\n"
          "i2c bus test (menu 3 of the test menu), and through the comprehensive test (`all`). A cell\n"
          "shows what the operator sees of that part of the run; \"(not fired)\" marks a run in which\n"
          "the simulated card never acted on the fault. A fault is detected when some run shows a\n"
          "FAILED verdict or start-up's refusal or warning.\n\n";
    md << "| Fault | ";
    for (const RunInfo& r : kRuns) {
        md << r.title << " | ";
    }
    md << "Verdict |\n|---|---|---|---|---|\n";

    const Observed healthy_startup = observe(nullptr, STARTUP);
    md << "| none (healthy card) | ";
    for (int r = 0; r < RUNS; ++r) {
        const Observed o = r == STARTUP ? healthy_startup : observe(nullptr, static_cast<Part>(r));
        md << cell(static_cast<Part>(r), o, healthy_startup.session.err) << " | ";
    }
    md << "passes everything |\n";

    for (const sim::FaultInfo& f : sim::fault_catalogue()) {
        md << "| `" << f.name << "`: " << f.meaning << " | ";
        const Observed startup = observe(&f, STARTUP);
        std::vector<std::string> shown_in;
        bool fired = false;
        for (int r = 0; r < RUNS; ++r) {
            const Observed o = r == STARTUP ? startup : observe(&f, static_cast<Part>(r));
            md << cell(static_cast<Part>(r), o, startup.session.err) << (o.fired ? "" : " (not fired)") << " | ";
            fired = fired || o.fired;
            if (shows_a_fault(Session{part_of(static_cast<Part>(r), o.session), "", 0})) {
                shown_in.push_back(kRuns[r].short_title);
            }
        }
        if (!shown_in.empty()) {
            md << "detected: ";
            for (std::size_t i = 0; i < shown_in.size(); ++i) {
                md << (i == 0 ? "" : ", ") << shown_in[i];
            }
        } else if (fired) {
            md << "**gap**: fired but not detected";
        } else {
            md << "**gap**: never fired";
        }
        if (known_gaps().count(f.name) != 0) {
            md << " (known gap, below)";
        }
        md << " |\n";
    }

    md << "\n## Known gaps\n\n"
          "Faults that no test of today detects, with the reason. Each is listed in the test, which\n"
          "fails once the fault becomes detectable so that the list is kept honest.\n\n"
          "| Fault | Reason |\n|---|---|\n";
    for (const auto& [name, reason] : known_gaps()) {
        md << "| `" << name << "` | " << reason << " |\n";
    }
    return md.str();
}

std::filesystem::path report_path()
{
    // This file sits in tests/integration/ of the source tree.
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "docs" / "fault-coverage.md";
}

// ---- The tests -----------------------------------------------------------------------------

TEST(FaultCoverage, HealthyCardPassesEverything)
{
    for (int r = 0; r < RUNS; ++r) {
        const Observed o = observe(nullptr, static_cast<Part>(r));
        SCOPED_TRACE(kRuns[r].title);
        EXPECT_FALSE(shows_a_fault(o.session)) << o.session.out;
        EXPECT_EQ(o.session.out.compare(0, top_cycle().size(), top_cycle()), 0) << "start-up printed something";
        EXPECT_EQ(o.session.err, "");
        EXPECT_EQ(o.left_open, 0) << o.left_open_names;
    }
    EXPECT_TRUE(contains(observe(nullptr, MENU_3).session.out, kmb_cycle(0) + kCounterAgentPassed + kmb_cycle(3)));
    EXPECT_TRUE(contains(observe(nullptr, COMPREHENSIVE).session.out,
                         kComprehensiveStart + kCounterAgentPassed + kComprehensivePassed));
}

TEST(FaultCoverage, EveryFaultIsDetectedOrAKnownGap)
{
    std::map<std::string, const Detection*> rows;
    for (const Detection& d : detections()) {
        rows[d.fault] = &d;
        EXPECT_TRUE(sim::fault_by_name(d.fault).has_value()) << d.fault << " is in no catalogue: remove its row";
        EXPECT_EQ(known_gaps().count(d.fault), 0u) << d.fault << " is both detected and a known gap";
    }
    for (const auto& [name, reason] : known_gaps()) {
        EXPECT_TRUE(sim::fault_by_name(name).has_value()) << name << " is in no catalogue: remove it from the gaps";
    }

    for (const sim::FaultInfo& f : sim::fault_catalogue()) {
        SCOPED_TRACE(f.name);
        Observed runs[RUNS];
        bool detected = false;
        bool fired = false;
        for (int r = 0; r < RUNS; ++r) {
            runs[r] = observe(&f, static_cast<Part>(r));
            detected = detected || shows_a_fault(runs[r].session);
            fired = fired || runs[r].fired;
            EXPECT_EQ(runs[r].left_open, 0) << kRuns[r].title << " left open: " << runs[r].left_open_names;
        }
        const auto row = rows.find(f.name);
        if (row != rows.end()) {
            bool asked = false;
            for (int r = 0; r < RUNS; ++r) {
                const std::string& shows = row->second->shows[r];
                const std::string& err = row->second->err[r];
                if (shows.empty() && err.empty()) {
                    continue;
                }
                asked = true;
                EXPECT_TRUE(runs[r].fired) << kRuns[r].title << ": the card never acted on the fault, so its "
                                           << "verdict proves nothing";
                EXPECT_TRUE(contains(runs[r].session.out, shows))
                    << kRuns[r].title << " does not show\n" << shows << "\nbut printed\n" << runs[r].session.out;
                EXPECT_TRUE(contains(runs[r].session.err, err))
                    << kRuns[r].title << " does not report\n" << err << "\nbut reported\n" << runs[r].session.err;
            }
            EXPECT_TRUE(asked) << "its row asks nothing of any run";
        } else if (const auto gap = known_gaps().find(f.name); gap != known_gaps().end()) {
            EXPECT_FALSE(detected || fired)
                << "listed as a known gap (" << gap->second << "), but it is "
                << (detected ? "detected" : "fired") << " now: remove it from known_gaps() and give it a row in "
                << "detections() with the texts the operator sees";
        } else {
            ADD_FAILURE() << "no row detects this fault: add one to detections() with the texts that show it, or "
                          << "list it in known_gaps() with the reason no test can see it ("
                          << (detected ? "the card reports it today"
                              : fired  ? "it fired but nothing reported it: a gap in the diagnostic"
                                       : "it never fired: no test reaches it")
                          << ")";
        }
    }
}

TEST(FaultCoverage, ReportIsCurrent)
{
    const std::string generated = report();
    const std::filesystem::path path = report_path();
    const char* update = std::getenv("KMB_UPDATE_COVERAGE");
    if (update != nullptr && std::string_view(update) == "1") {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << generated;
        std::printf("wrote %s\n", path.c_str());
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream committed;
    committed << in.rdbuf();
    EXPECT_EQ(committed.str(), generated)
        << path << " is not what the card does today. Regenerate it with\n"
        << "  KMB_UPDATE_COVERAGE=1 build/tests/kmb_integration_tests --gtest_filter='FaultCoverage.*'\n"
        << "and commit it after reading the difference.";
}

} // namespace
} // namespace kmb::test
