// What the diagnostic can diagnose: every fault of the simulator's catalogue, switched on alone,
// runs through the runs that its row names (start-up and the comprehensive test when it has no
// row). Each fault must be detected where the card reports it, in the operator's own words, or
// stand in the list of known gaps with its reason. The matrix of what the operator sees is kept
// in docs/fault-coverage.md, and a test holds that file to what the card does today. The table
// of what each fault must show is fault_detections.cpp; this file runs it and writes the report.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <sys/msg.h>

#include "agent/agent_api.h"
#include "agent/agent_protocol.h"
#include "console/operator_texts.h"
#include "devices/error_codes.h"
#include "integration/card_session.h"
#include "integration/diagnostic_messages.h"
#include "integration/fault_detections.h"
#include "integration/message_scan.h"
#include "integration/message_table.h"
#include "ipc/msg_queue.h"
#include "os/os.h"
#include "sim/core/card_reset.h"
#include "sim/core/faults.h"
#include "support/agent_card.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

// What the agent daemon's libraries make of a fault: the first nonzero code of start-up, a
// client's power_cycle and the event handler, the command status the client got, whether the
// card acted on the fault, the tries that failed and were logged, and the agent error records
// that reached the SEL daemon's queue. Needs the private IPC namespace of the calling test.
struct DaemonSeen {
    int code = 0;
    int status = 0;
    bool fired = false;
    int failed_tries = 0;
    int error_records = 0;
};

constexpr int kProbeReplyKey = 10;

// A client's power_cycle, served as the daemon serves it; the answer's result.
int power_cycle_for_a_client(int* status)
{
    const int pid = static_cast<int>(os::getpid());
    AgentApiRequest req{};
    req.head = MsgHeader{1, MSG_CLASS_AGENT_CMD, pid, kProbeReplyKey, AGENT_API_REQUEST_LENGTH};
    req.bytes[0] = AGENT_POWER_CYCLE;
    req.checksum = agent_checksum(req.bytes, 3);
    agent_api_handle_request(&req);
    uint8_t st = 0;
    const int result = agent_api_wait_response(kProbeReplyKey, pid, &st, nullptr);
    *status = st;
    ipc_queue_remove(ipc_queue_id(kProbeReplyKey, 0));
    return result;
}

int failed_tries(const std::vector<std::string>& log)
{
    int tries = 0;
    for (const std::string& line : log) {
        for (const char* failed : {"Error writing try# ", "Error reading try# ", " read fifo, try "}) {
            tries += line.find(failed) != std::string::npos ? 1 : 0;
        }
    }
    return tries;
}

DaemonSeen probe_agent_daemon(std::optional<sim::Fault> fault)
{
    reset_agent_module();
    SimCard card(fault.has_value() ? std::vector<sim::Fault>{*fault} : std::vector<sim::Fault>{});
    DaemonSeen seen;
    seen.code = agent_init();
    if (seen.code == ERR_NONE) {
        agent_event_handler(); // the start-up dump
        seen.code = power_cycle_for_a_client(&seen.status);
    }
    if (seen.code == ERR_NONE) {
        card.card().host_agent().set_signal(0x16, true);
        seen.code = agent_event_handler();
    }
    seen.fired = fault.has_value() && card.card().faults().fired(*fault);
    seen.failed_tries = failed_tries(card.syslog_lines());
    for (const SelSeen& request : take_sel_requests()) {
        for (const SelRecord& r : request.records) {
            seen.error_records += r.event_type == SEL_TYPE_AGENT_ERROR ? 1 : 0;
        }
    }
    return seen;
}

struct Observed {
    Session session;
    bool fired = false;
    int left_open = 0;
    std::string left_open_names;
    // Nat rules, ARP entries, promiscuous mode, sockets or memory blocks a run kept.
    std::string left_behind;
    bool pass_lamp = false;
    bool fail_lamp = false;
};

Observed observe(const sim::FaultInfo* fault, const CardRun& run)
{
    TempDir state;
    sim::SimConfig config;
    if (fault != nullptr) {
        config.faults.push_back(fault->fault);
    }
    config.state_dir = state.path().string();
    Observed o;
    const auto start = [&](const std::string& console) {
        SimCard card(config);
        const Session session = run_diagnostic(card, console);
        o.session.out = session.out;
        o.session.err += session.err;
        o.session.exit_status = session.exit_status;
        o.fired = o.fired || (fault != nullptr && card.card().faults().fired(fault->fault));
        // A reset takes everything the program held with it.
        if (session.exit_status != sim::kResetExitStatus) {
            o.left_open += card.os().open_descriptor_count();
            o.left_open_names += card.os().open_descriptor_names();
            o.left_behind += card.card().network().leftovers();
            if (const std::size_t blocks = card.card().ram().blocks_in_use(); blocks != 0) {
                o.left_behind += std::to_string(blocks) + " memory block(s) kept\n";
            }
        }
        o.pass_lamp = card.card().fixture().pass_lamp();
        o.fail_lamp = card.card().fixture().fail_lamp();
    };
    start(run.console);
    if (run.cut == Cut::NextStart) {
        start("exit\n");
    }
    return o;
}

// A run is the same every time (speed 0, a fresh card): each is made once per test program.
const Observed& observed(const sim::FaultInfo* fault, const CardRun& run)
{
    static std::map<std::pair<std::string, std::string>, Observed> made;
    const std::pair<std::string, std::string> key{fault != nullptr ? fault->name : "", run.title};
    auto it = made.find(key);
    if (it == made.end()) {
        it = made.emplace(key, observe(fault, run)).first;
    }
    return it->second;
}

// What every coverage run printed: the healthy card's runs, then each fault's.
std::vector<RunOutput> coverage_outputs()
{
    std::vector<RunOutput> outputs;
    for (const CardRun* run : all_runs()) {
        const Observed& o = observed(nullptr, *run);
        outputs.push_back({"", run->title, o.session.out, o.session.err});
    }
    for (const sim::FaultInfo& f : sim::fault_catalogue()) {
        for (const CardRun* run : runs_of(f.name)) {
            const Observed& o = observed(&f, *run);
            outputs.push_back({f.name, run->title, o.session.out, o.session.err});
        }
    }
    return outputs;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The operator has been told something is wrong: a test FAILED (a reset test's verdict reads
// FAIL), start-up refused or warned, or a system call's error number was shown.
bool shows_a_fault(const std::string& out)
{
    return contains(out, "FAILED\n") || contains(out, "FAIL\n") || contains(out, kNotInFixture) ||
           contains(out, kNoIoExpander) || contains(out, " errno = ");
}

// A test judged the card: a FAILED or FAIL verdict, or start-up's refusal or warning. A card
// that passes every test with a fault switched on has a gap, whatever else it printed.
bool fails_a_test(const std::string& out)
{
    return contains(out, "FAILED\n") || contains(out, "FAIL\n") || contains(out, kNotInFixture) ||
           contains(out, kNoIoExpander);
}

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

constexpr const char* kMismatchLine = "Error reading data, expected = ";

// Lines as markdown code spans, one under the other in a table cell, as they stand on the
// operator's screen: a backspace takes back the character before it (the progress spinner).
std::string cell_lines(const std::string& text, const char* prefix = "")
{
    std::string cell;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::string shown;
        for (char c : line) {
            if (c != '\b') {
                shown += c;
            } else if (!shown.empty()) {
                shown.pop_back();
            }
        }
        if (shown.empty()) {
            continue;
        }
        // Addresses of the memory test's block differ from run to run; the page must not.
        if (shown.rfind(kMismatchLine, 0) == 0) {
            shown = kMismatchLine + std::string("(address), read = (address)");
        }
        std::string escaped;
        for (char c : shown) {
            escaped += c == '|' ? std::string("\\|") : std::string(1, c);
        }
        cell += (cell.empty() ? "" : "<br>") + std::string(prefix) + "`" + escaped + "`";
    }
    return cell;
}

const std::string kMenuHeader = "\n\nKMB diagnostic menu";

// What the run printed in its own part: start-up before the first menu, a test between its
// prompt and the next test menu, a command between the first prompt and the next menu.
std::string part_of(const CardRun& run, const std::string& out)
{
    switch (run.cut) {
    case Cut::StartUp:
    case Cut::NextStart:
        return between(out, "", kMenuHeader);
    case Cut::TestMenu:
        return between(out, kmb_cycle(0), "\n\nDiagnostic Test for KMB card");
    case Cut::TopLevel:
        return between(out, kTopPrompt, kMenuHeader);
    }
    return {};
}

std::string cell(const CardRun& run, const Observed& o)
{
    const Session& s = o.session;
    if (run.cut != Cut::StartUp && !contains(s.out, kMenuHeader)) {
        return "not reached: the program ends at start-up";
    }
    std::string shown = cell_lines(part_of(run, s.out));
    const std::string err_lines = cell_lines(s.err, "stderr: ");
    if (!err_lines.empty()) {
        shown += (shown.empty() ? "" : "<br>") + err_lines;
    }
    return shown.empty() ? "nothing" : shown;
}

std::string report()
{
    std::ostringstream md;
    md << "# Fault coverage\n\n"
          "Generated by `tests/integration/fault_coverage_test.cpp`; do not edit by hand. After a change of the\n"
          "diagnostic or the simulated card, regenerate it with\n\n"
          "    KMB_UPDATE_COVERAGE=1 build/tests/kmb_integration_tests --gtest_filter='FaultCoverage.*'\n\n"
          "Each fault of the simulated card's catalogue (`kmbdiag-sim --list-faults`) is switched on alone,\n"
          "and the diagnostic runs from start-up through the runs where the fault shows (start-up and the\n"
          "comprehensive test, `all`, for a fault that no run shows). A row shows what the operator sees of\n"
          "that part of the run, on the console and on standard error; \"(not fired)\" marks a run in which\n"
          "the simulated card never acted on the fault. A fault is detected when the operator is told in\n"
          "the diagnostic's own words: a FAILED verdict, start-up's refusal or warning, or an error line.\n\n";
    md << "| Fault | Run | What the operator sees | Verdict |\n|---|---|---|---|\n";
    for (const CardRun* run : all_runs()) {
        md << "| none (healthy card) | " << run->title << " | " << cell(*run, observed(nullptr, *run))
           << " | passes |\n";
    }
    for (const sim::FaultInfo& f : sim::fault_catalogue()) {
        const Detection* row = row_of(f.name);
        const std::string verdict = row != nullptr                         ? "detected"
                                    : daemon_row_of(f.name) != nullptr      ? "detected by the agent daemon (below)"
                                    : daemon_recovery_of(f.name) != nullptr ? "ridden out by the agent daemon (below)"
                                    : known_gaps().count(f.name) != 0        ? "**gap** (known, below)"
                                                                             : "**gap**";
        bool first = true;
        for (const CardRun* run : runs_of(f.name)) {
            const Observed& o = observed(&f, *run);
            md << "| ";
            if (first) {
                md << '`' << f.name << "`: " << f.meaning;
            }
            md << " | "
               << run->title << " | " << cell(*run, o) << (o.fired ? "" : " (not fired)") << " | "
               << (first ? verdict : std::string()) << " |\n";
            first = false;
        }
    }
    md << "\n## What makes the diagnostic say each thing\n\n"
          "Every failure message and failing verdict of the diagnostic, read out of the card's code (`src/`)\n"
          "by the test, and the faults above whose runs made the card print it. A row that no fault reaches\n"
          "says why no simulated fault can, and how sure that is; the test fails when a message of the code\n"
          "has no row, when a row without a reason is printed by no fault, and when a row with a reason\n"
          "is printed after all. A failing verdict must be followed by its hint lines wherever it shows.\n\n";
    md << message_table(find_provokers(coverage_outputs()));
    md << "\n## Detected by the agent daemon\n\n"
          "No menu of the diagnostic addresses the host agent at 0x57 (its Agent i2c bus test reads back\n"
          "the I/O expander at 0x18), so the runs above never meet these faults; the card's agent daemon\n"
          "does, through its libraries. Each fault is switched on alone while the daemon's start-up runs,\n"
          "then a client's power_cycle, then its event handler with one event waiting; the fault is\n"
          "detected when the code below comes back and an agent error record reaches the system event\n"
          "log (`FaultCoverageDaemon.AgentFaultsAreDetectedByTheAgentDaemon`).\n\n"
          "| Fault | Code | What the daemon reports |\n|---|---|---|\n";
    for (const DaemonDetection& d : daemon_detections()) {
        md << "| `" << d.fault << "` | " << d.code << " (" << error_text(d.code) << ") | " << d.how << " |\n";
    }
    md << "\n## Ridden out by the agent daemon\n\n"
          "Faults of the host agent that pass: in the same run the fault fires, the daemon's tries get\n"
          "through, every command succeeds and no agent error reaches the system event log\n"
          "(`FaultCoverageDaemon.AgentFaultsTheDaemonRidesOut`). Only the daemon's log shows them, one\n"
          "line for each try that failed. No menu of the diagnostic reaches them either.\n\n"
          "| Fault | Failed tries logged | Where |\n|---|---|---|\n";
    for (const DaemonRecovery& d : daemon_recoveries()) {
        md << "| `" << d.fault << "` | " << d.failed_tries << " | " << d.how << " |\n";
    }
    md << "\n## Known gaps\n\n"
          "Faults that the card meets and still passes every test with: gaps of the diagnostic, whatever\n"
          "else it printed, with the reason. Each is listed in the test, which fails once a test comes to\n"
          "fail with the fault, so that the list is kept honest.\n\n"
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

// ---- The tests -----------------------------------------------------------------------------

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

using FaultCoverageDaemon = PrivateIpc;

TEST_F(FaultCoverageDaemon, AgentFaultsAreDetectedByTheAgentDaemon)
{
    for (const DaemonDetection& d : daemon_detections()) {
        SCOPED_TRACE(d.fault);
        const std::optional<sim::Fault> fault = sim::fault_by_name(d.fault);
        ASSERT_TRUE(fault.has_value()) << "in no catalogue: remove its row";
        EXPECT_EQ(row_of(d.fault), nullptr);
        EXPECT_EQ(known_gaps().count(d.fault), 0u);
        const DaemonSeen seen = probe_agent_daemon(*fault);
        EXPECT_TRUE(seen.fired) << "the card never acted on the fault";
        EXPECT_EQ(seen.code, d.code);
        EXPECT_GE(seen.error_records, 1) << "no agent error reached the event log";
    }
    const int sel = msgget(7, 0);
    if (sel >= 0) {
        msgctl(sel, IPC_RMID, nullptr);
    }
}

TEST_F(FaultCoverageDaemon, AgentFaultsTheDaemonRidesOut)
{
    for (const DaemonRecovery& d : daemon_recoveries()) {
        SCOPED_TRACE(d.fault);
        const std::optional<sim::Fault> fault = sim::fault_by_name(d.fault);
        ASSERT_TRUE(fault.has_value()) << "in no catalogue: remove its row";
        EXPECT_EQ(row_of(d.fault), nullptr);
        EXPECT_EQ(daemon_row_of(d.fault), nullptr);
        EXPECT_EQ(known_gaps().count(d.fault), 0u);
        const DaemonSeen seen = probe_agent_daemon(*fault);
        EXPECT_TRUE(seen.fired) << "the card never acted on the fault";
        EXPECT_EQ(seen.code, ERR_NONE);
        EXPECT_EQ(seen.status, 0) << "the power_cycle's command status";
        EXPECT_EQ(seen.failed_tries, d.failed_tries);
        EXPECT_EQ(seen.error_records, 0);
    }
    // The healthy card, for comparison: nothing to ride out.
    const DaemonSeen healthy = probe_agent_daemon(std::nullopt);
    EXPECT_EQ(healthy.code, ERR_NONE);
    EXPECT_EQ(healthy.failed_tries, 0);
    const int sel = msgget(7, 0);
    if (sel >= 0) {
        msgctl(sel, IPC_RMID, nullptr);
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
