// What the diagnostic can diagnose: every fault of the simulator's catalogue, switched on alone,
// must be detected where the card reports it, in the operator's own words, or stand in the list
// of known gaps with its reason; docs/fault-coverage.md is held to what the card does today.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include <gtest/gtest.h>
#include <sys/msg.h>

#include "console/operator_texts.h"
#include "devices/error_codes.h"
#include "integration/coverage_report.h"
#include "integration/coverage_runs.h"
#include "integration/diagnostic_messages.h"
#include "integration/fault_detections.h"
#include "integration/message_scan.h"
#include "integration/message_table.h"
#include "support/private_ipc.h"

namespace kmb::test {
namespace {

// Whatever the run met, the program gave everything back, and a test menu number's lamps
// show its verdict (unless the fault keeps the expander that drives them from answering).
void expect_left_clean(const sim::FaultInfo* fault, const CardRun& run, const Observed& o)
{
    EXPECT_EQ(o.left_open, 0) << run.title << " left open: " << o.left_open_names;
    EXPECT_EQ(o.left_behind, "") << run.title;
    const std::set<std::string> dark = {"iox-absent", "iox-nack", "i2c-bus-absent"};
    if (run.cut == Cut::TestMenu && (fault == nullptr || dark.count(fault->name) == 0)) {
        const bool failed = contains(part_of(run, o.session.out), "FAILED\n");
        EXPECT_EQ(o.fail_lamp, failed) << run.title << " lamps";
        EXPECT_EQ(o.pass_lamp, !failed) << run.title << " lamps";
    }
}

TEST(FaultCoverage, HealthyCardPassesEveryRun)
{
    for (const CardRun* run : all_runs()) {
        SCOPED_TRACE(run->title);
        const Observed& o = observed(nullptr, *run);
        EXPECT_FALSE(shows_a_fault(o.session.out)) << o.session.out;
        if (run->cut != Cut::NextStart) {
            const std::string quiet = kFreshCpld + top_cycle();
            EXPECT_EQ(o.session.out.compare(0, quiet.size(), quiet), 0) << "start-up printed more than the reason";
        }
        EXPECT_EQ(o.session.err, "");
        expect_left_clean(nullptr, *run, o);
    }
}

TEST(FaultCoverage, EveryFaultIsDetectedOrAKnownGap)
{
    for (const Detection& d : detections()) {
        EXPECT_TRUE(sim::fault_by_name(d.fault).has_value()) << d.fault << " is in no catalogue: remove its row";
        EXPECT_EQ(known_gaps().count(d.fault), 0u) << d.fault << " is both detected and a known gap";
        EXPECT_FALSE(d.shows.empty()) << d.fault << ": its row asks nothing of any run";
    }
    for (const auto& [name, reason] : known_gaps()) {
        EXPECT_TRUE(sim::fault_by_name(name).has_value()) << name << " is in no catalogue: remove it from the gaps";
    }

    for (const sim::FaultInfo& f : sim::fault_catalogue()) {
        SCOPED_TRACE(f.name);
        if (daemon_row_of(f.name) != nullptr || daemon_recovery_of(f.name) != nullptr) {
            continue; // the agent daemon's tests below hold it
        }
        if (const Detection* row = row_of(f.name)) {
            for (const Shows& s : row->shows) {
                const Observed& o = observed(&f, *s.run);
                EXPECT_TRUE(o.fired) << s.run->title << ": the card never acted on the fault, so its verdict "
                                     << "proves nothing";
                EXPECT_TRUE(contains(o.session.out, s.out))
                    << s.run->title << " does not show\n" << s.out << "\nbut printed\n" << o.session.out;
                EXPECT_TRUE(contains(o.session.err, s.err))
                    << s.run->title << " does not report\n" << s.err << "\nbut reported\n" << o.session.err;
                expect_left_clean(&f, *s.run, o);
            }
            continue;
        }
        bool detected = false;
        bool failed = false;
        bool fired = false;
        for (const CardRun* run : runs_of(f.name)) {
            const Observed& o = observed(&f, *run);
            detected = detected || shows_a_fault(o.session.out) || !o.session.err.empty();
            failed = failed || fails_a_test(o.session.out);
            fired = fired || o.fired;
            expect_left_clean(&f, *run, o);
        }
        if (const auto gap = known_gaps().find(f.name); gap != known_gaps().end()) {
            EXPECT_TRUE(fired) << "a known gap that the card never met proves nothing: no run reaches it";
            EXPECT_FALSE(failed) << "listed as a known gap (" << gap->second << "), but it is detected now: "
                                   << "remove it from known_gaps() and give it a row in detections() with the texts "
                                   << "the operator sees";
        } else {
            ADD_FAILURE() << "no row detects this fault: add one to detections() with the runs and texts that "
                          << "show it, or list it in known_gaps() with the reason no test can see it ("
                          << (detected ? "the card reports it in start-up or the comprehensive test"
                              : fired  ? "it fired but nothing reported it: a gap in the diagnostic"
                                       : "it never fired: no test reaches it")
                          << ")";
        }
    }
}

// Every text the code prints as it fails has its row, and every row is still in the code.
TEST(FaultCoverage, EveryMessageOfTheCodeHasItsRow)
{
    std::set<std::string> rows;
    for (const Message& m : diagnostic_messages()) {
        EXPECT_TRUE(rows.insert(m.text).second) << m.text << " has two rows";
    }
    for (const Verdict& v : diagnostic_verdicts()) {
        EXPECT_TRUE(rows.insert(v.label).second) << v.label << " has two rows";
        for (const std::string& hint : v.hints) {
            rows.insert(hint);
        }
    }
    for (const NotAFailure& n : not_failures()) {
        EXPECT_TRUE(rows.insert(n.text).second) << n.text << " has two rows";
    }
    std::set<std::string> in_code;
    for (const SourceText& t : scan_source_texts()) {
        in_code.insert(t.text);
        EXPECT_EQ(rows.count(t.text), 1u) << t.file << " prints\n" << t.text << "\nwhich has no row in "
                                          << "diagnostic_messages.cpp: give it the faults that provoke it, or the "
                                          << "reason none can";
    }
    for (const std::string& row : rows) {
        EXPECT_EQ(in_code.count(row), 1u) << row << " is in no file of src/: remove its row";
    }
}

// Each row is printed by some fault's run, or by none when it gives the reason.
TEST(FaultCoverage, EveryFailureMessageIsProvokedOrExplained)
{
    const Provokers p = find_provokers(coverage_outputs());
    for (const std::string& problem : p.problems) {
        ADD_FAILURE() << problem;
    }
    const auto check = [](const std::string& text, const std::set<std::string>& faults, const char* why_none) {
        if (*why_none == '\0') {
            EXPECT_FALSE(faults.empty()) << text << "\nis printed in no coverage run: add the fault that provokes "
                                         << "it, or give the reason no fault can";
        } else {
            EXPECT_TRUE(faults.empty()) << text << "\nis said to be out of reach (" << why_none << ") but "
                                        << *faults.begin() << " provokes it: remove the reason";
        }
    };
    for (std::size_t i = 0; i < diagnostic_messages().size(); ++i) {
        check(diagnostic_messages()[i].text, p.messages[i], diagnostic_messages()[i].why_none);
    }
    for (std::size_t i = 0; i < diagnostic_verdicts().size(); ++i) {
        check(diagnostic_verdicts()[i].failed_line, p.verdicts[i], diagnostic_verdicts()[i].why_none);
    }
}

// The host agent's faults: each detected by the agent daemon (its code comes back and an agent
// error reaches the event log) or ridden out (every command succeeds after the logged tries).
class FaultCoverageDaemon : public PrivateIpc {
protected:
    void TearDown() override
    {
        if (const int sel = msgget(7, 0); sel >= 0) {
            msgctl(sel, IPC_RMID, nullptr);
        }
        PrivateIpc::TearDown();
    }
};

// `fault` alone on the agent daemon's card: `code` comes back and an agent error reaches the
// event log, or (failed_tries >= 0) every command succeeds after that many logged tries.
void expect_daemon_meets(const char* fault_name, int code, int failed_tries)
{
    SCOPED_TRACE(fault_name);
    const std::optional<sim::Fault> fault = sim::fault_by_name(fault_name);
    ASSERT_TRUE(fault.has_value()) << "in no catalogue: remove its row";
    EXPECT_EQ(row_of(fault_name), nullptr);
    EXPECT_EQ(known_gaps().count(fault_name), 0u);
    const DaemonSeen seen = probe_agent_daemon(*fault);
    EXPECT_TRUE(seen.fired) << "the card never acted on the fault";
    EXPECT_EQ(seen.code, code);
    if (failed_tries < 0) {
        EXPECT_GE(seen.error_records, 1) << "no agent error reached the event log";
        return;
    }
    EXPECT_EQ(daemon_row_of(fault_name), nullptr);
    EXPECT_EQ(seen.status, 0) << "the power_cycle's command status";
    EXPECT_EQ(seen.failed_tries, failed_tries);
    EXPECT_EQ(seen.error_records, 0);
}

TEST_F(FaultCoverageDaemon, AgentFaultsAreDetectedByTheAgentDaemon)
{
    for (const DaemonDetection& d : daemon_detections()) {
        expect_daemon_meets(d.fault, d.code, -1);
    }
}

TEST_F(FaultCoverageDaemon, AgentFaultsTheDaemonRidesOut)
{
    for (const DaemonRecovery& d : daemon_recoveries()) {
        expect_daemon_meets(d.fault, ERR_NONE, d.failed_tries);
    }
    // The healthy card, for comparison: nothing to ride out.
    const DaemonSeen healthy = probe_agent_daemon(std::nullopt);
    EXPECT_EQ(healthy.code, ERR_NONE);
    EXPECT_EQ(healthy.failed_tries, 0);
}

TEST(FaultCoverage, ReportIsCurrent)
{
    const std::string generated = coverage_report();
    const std::filesystem::path path = coverage_report_path();
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
