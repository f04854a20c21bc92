// What the diagnostic can diagnose: every fault of the simulator's catalogue, switched on alone,
// runs through the runs that its row names (start-up and the comprehensive test when it has no
// row). Each fault must be detected where the card reports it, in the operator's own words, or
// stand in the list of known gaps with its reason. The matrix of what the operator sees is kept
// in docs/fault-coverage.md, and a test holds that file to what the card does today.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <sys/msg.h>

#include "console/operator_texts.h"
#include "integration/card_session.h"
#include "devices/agent_protocol.h"
#include "devices/error_codes.h"
#include "sim/card_reset.h"
#include "sim/faults.h"
#include "support/agent_card.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

// One way through the diagnostic, from start-up to Exit. `cut` says which part of what it
// printed belongs to the run: start-up's, a test menu number's, or a top-level command's. A
// reset test gives its verdict at the card's next start: its run is the test, then start-up
// once more on the same card, and the part is that second start-up's.
enum class Cut { StartUp, TestMenu, TopLevel, NextStart };

struct CardRun {
    const char* title;
    std::string console;
    Cut cut;
};

const CardRun kStartUp{"Start-up", "exit\n", Cut::StartUp};
const CardRun kMenu3{"Counter agent i2c bus test (menu 3)", "kmb\n3\n99\nexit\n", Cut::TestMenu};
const CardRun kMenu2{"Serial port test (menu 2)", "kmb\n2\n99\nexit\n", Cut::TestMenu};
const CardRun kMenu5{"Temperature sensor test (menu 5)", "kmb\n5\n99\nexit\n", Cut::TestMenu};
const CardRun kMenu4{"Agent i2c bus test (menu 4)", "kmb\n4\n99\nexit\n", Cut::TestMenu};
const CardRun kMenu6{"Agent IRQ test (menu 6)", "kmb\n6\n99\nexit\n", Cut::TestMenu};
const CardRun kMenu7{"Agent IIRQ test (menu 7)", "kmb\n7\n99\nexit\n", Cut::TestMenu};
const CardRun kComprehensive{"Comprehensive test", "all\nexit\n", Cut::TopLevel};
const CardRun kMenu9{"Ethernet loopback test (menu 9)", "kmb\n9\n99\nexit\n", Cut::TestMenu};
const CardRun kMenu8{"Memory access test (menu 8)", "kmb\n8\n99\nexit\n", Cut::TestMenu};
const CardRun kMenu13{"Watchdog test (menu 13), then the next start", "kmb\n13\ny\n99\nexit\n", Cut::NextStart};
const CardRun kMenu14{"Counter agent reset primary (menu 14), then the next start", "kmb\n14\ny\n99\nexit\n",
                      Cut::NextStart};
const CardRun kMenu15{"Counter agent reset secondary (menu 15), then the next start", "kmb\n15\ny\n99\nexit\n",
                      Cut::NextStart};

// How a fault must show itself in one run: a text the run must print on standard output, and
// one on standard error, written from the diagnostic's own messages (either may be empty).
struct Shows {
    const CardRun* run;
    std::string out;
    std::string err;
};

struct Detection {
    const char* fault;
    std::vector<Shows> shows;
};

const std::string kDefaultsHint = "Error read back output port default value\n"
                                  "expect: 0x00         read: 0x1\n";

// The Ethernet runs' first failure as each fault shows it, the messages before the verdict
// included.
std::string eth_failed(int run, const std::string& before) { return before + kEthLabels[run] + "FAILED\n" + kEthHints; }

std::string corrupted_bytes()
{
    // One bit of every 1,000th byte carried is flipped: the first eleven of the first cycle.
    const char* pairs[][2] = {{"e7", "e5"}, {"cf", "cb"}, {"b7", "bf"}, {"9f", "8f"}, {"87", "a7"}, {"6f", "2f"},
                              {"57", "d7"}, {"3f", "3e"}, {"27", "25"}, {"f", "b"},   {"f7", "ff"}};
    std::string text;
    for (const auto& p : pairs) {
        text += "Error: receive data not correct, \nexpected : 0x" + std::string(p[0]) + ", received: 0x" + p[1] + "\n";
    }
    return text;
}
const std::string kEccChanged = "ECC error happened!\n" + kMemoryFailed;
const std::string kNoEccFile = "no ECC proc file\n";
const std::string kTooManyMismatches = "too much error, exit\n" + kMemoryFailed;
const std::string kNoBlock = "unable to allocate at least 2M byte memory\n" + kMemoryFailed;

const std::vector<Detection>& detections()
{
    static const std::vector<Detection> table = {
        // The program refuses to start, whatever was asked of it.
        {"no-fixture", {{&kStartUp, kNotInFixture, ""}, {&kComprehensive, kNotInFixture, ""}}},
        // No bus at all: start-up's warning, and the counter agent test cannot open it.
        {"i2c-bus-absent",
         {{&kStartUp, kNoIoExpander, ""},
          {&kMenu3, kCounterAgentFailed, "Error open i2c device: No such file or directory\n"},
          {&kComprehensive, kCounterAgentFailed, "Error open i2c device: No such file or directory\n"}}},
        // The expander drives only the lamps and the agent lines; start-up is where it shows.
        {"iox-absent", {{&kStartUp, kNoIoExpander, ""}}},
        // Bound but deaf: every lamp change fails at its register read, and says so.
        {"iox-nack", {{&kStartUp, "", "Error write to counter agent: Remote I/O error\n"}}},
        {"counter-agent-absent",
         {{&kMenu3, kCounterAgentFailed, "Error open i2c device: No such device or address\n"},
          {&kComprehensive, kCounterAgentFailed, "Error open i2c device: No such device or address\n"}}},
        {"counter-agent-nack",
         {{&kMenu3, kCounterAgentFailed, "Error read from counter agent: Remote I/O error\n"},
          {&kComprehensive, kCounterAgentFailed, "Error read from counter agent: Remote I/O error\n"}}},
        // Pin 7 fails the drive-and-read-back with no message of its own before the verdict:
        // stuck low fails the driven-high half, stuck high the driven-low half.
        {"counter-agent-pin7-stuck-low",
         {{&kMenu3, kmb_cycle(0) + kCounterAgentFailed, ""},
          {&kComprehensive, kSerialLabel + "PASSED\n" + kCounterAgentFailed, ""}}},
        {"counter-agent-pin7-stuck-high",
         {{&kMenu3, kmb_cycle(0) + kCounterAgentFailed, ""},
          {&kComprehensive, kSerialLabel + "PASSED\n" + kCounterAgentFailed, ""}}},
        // The port's node, its modem lines through the connector, and the data looped back.
        {"serial-absent",
         {{&kMenu2, kSerialFailed, "serial port open file fail: No such file or directory\n"},
          {&kComprehensive, kSerialFailed, "serial port open file fail: No such file or directory\n"}}},
        {"serial-no-loopback",
         {{&kMenu2, "expected: DTR, RTS, CTS, CAR, DSR\nmodem status read: DTR RTS \n" + kSerialFailed, ""},
          {&kComprehensive, "modem status read: DTR RTS \n" + kSerialFailed, ""}}},
        {"serial-rts-cts-only",
         {{&kMenu2, "expected: DTR, RTS, CTS, CAR, DSR\nmodem status read: DTR RTS CTS \n" + kSerialFailed, ""},
          {&kComprehensive, "modem status read: DTR RTS CTS \n" + kSerialFailed, ""}}},
        {"serial-ring",
         {{&kMenu2, "expected: ALL LINES '0'\nmodem status read: \n" + kSerialFailed, ""},
          {&kComprehensive, "expected: ALL LINES '0'\nmodem status read: \n" + kSerialFailed, ""}}},
        {"serial-drop-byte",
         {{&kMenu2, "not all data received\n" + kSerialFailed, ""},
          {&kComprehensive, "not all data received\n" + kSerialFailed, ""}}},
        {"serial-corrupt",
         {{&kMenu2, "data error, i = 10, expected 0xa, receive 0xb\n" + kSerialFailed, ""},
          {&kComprehensive, "data error, i = 10, expected 0xa, receive 0xb\n" + kSerialFailed, ""}}},
        {"counter-agent-output-bit0-stuck",
         {{&kMenu3, kDefaultsHint + kCounterAgentFailed, ""},
          {&kComprehensive, kDefaultsHint + kCounterAgentFailed, ""}}},
        // Nothing arms the agent's lines: the pulses go uncounted.
        {"agentdrv-absent",
         {{&kMenu6, kmb_cycle(0) + kIrqMissed + kAgentIrqFailed, ""},
          {&kMenu7, kmb_cycle(0) + kIirqMissed + kAgentIirqFailed, ""},
          {&kComprehensive, kIrqMissed + kAgentIrqFailed + kIirqMissed + kAgentIirqFailed, ""}}},
        // A line held asserted is counted before any pulse; one that never arrives, never.
        {"agent-irq-stuck-low",
         {{&kMenu6, kmb_cycle(0) + kIrqStuckLow + kAgentIrqFailed, ""},
          {&kComprehensive, kIrqStuckLow + kAgentIrqFailed + kAgentIirqPassed, ""}}},
        {"agent-irq-open",
         {{&kMenu6, kmb_cycle(0) + kIrqMissed + kAgentIrqFailed, ""},
          {&kComprehensive, kIrqMissed + kAgentIrqFailed + kAgentIirqPassed, ""}}},
        {"agent-iirq-stuck-low",
         {{&kMenu7, kmb_cycle(0) + kIirqStuckLow + kAgentIirqFailed, ""},
          {&kComprehensive, kAgentIrqPassed + kIirqStuckLow + kAgentIirqFailed, ""}}},
        {"agent-iirq-open",
         {{&kMenu7, kmb_cycle(0) + kIirqMissed + kAgentIirqFailed, ""},
          {&kComprehensive, kAgentIrqPassed + kIirqMissed + kAgentIirqFailed, ""}}},
        // The sensor's absence shows at the open; each of its lines fails its own check.
        {"lm77-absent",
         {{&kMenu5, kmb_cycle(0) + kTemperatureFailed, "Error open i2c device: No such device or address\n"},
          {&kComprehensive, kCounterAgentPassed + kTemperatureFailed + kAgentI2cPassed,
           "Error open i2c device: No such device or address\n"}}},
        {"lm77-int-stuck",
         {{&kMenu5, kLm77IntStuck + kTemperatureFailed, ""}, {&kComprehensive, kLm77IntStuck + kTemperatureFailed, ""}}},
        {"lm77-int-open",
         {{&kMenu5, kLm77IntMissed + kTemperatureFailed, ""},
          {&kComprehensive, kLm77IntMissed + kTemperatureFailed, ""}}},
        {"lm77-crit-stuck",
         {{&kMenu5, kLm77CritStuck + kTemperatureFailed, ""},
          {&kComprehensive, kLm77CritStuck + kTemperatureFailed, ""}}},
        {"lm77-crit-open",
         {{&kMenu5, kLm77CritMissed + kTemperatureFailed, ""},
          {&kComprehensive, kLm77CritMissed + kTemperatureFailed, ""}}},
        // The bus test's read-back is its only check, and it has no message of its own.
        {"iox-polarity-bit0-stuck",
         {{&kMenu4, kmb_cycle(0) + kAgentI2cFailed, ""}, {&kComprehensive, kAgentI2cFailed, ""}}},
        // The internal runs pass without the cable; the external ones never see the link.
        {"eth-no-cable",
         {{&kMenu9, kEthLabels[1] + "PASSED\n" + eth_failed(2, "Link not established\n"), ""},
          {&kComprehensive, eth_failed(7, "Link not established\n"), ""}}},
        {"eth-no-ip",
         {{&kMenu9, kmb_cycle(0) + eth_failed(0, ""), "can't get ip address\n"},
          {&kComprehensive, eth_failed(7, ""), "can't get ip address\n"}}},
        {"eth-corrupt",
         {{&kMenu9, eth_failed(0, corrupted_bytes()), ""}, {&kComprehensive, eth_failed(0, corrupted_bytes()), ""}}},
        {"eth-link-down",
         {{&kMenu9, eth_failed(0, "Link not established\n"), ""},
          {&kComprehensive, eth_failed(4, "Link not established\n"), ""}}},
        // The PHY held in reset never brings the link up either.
        {"phy-reset-stuck",
         {{&kMenu9, kmb_cycle(0) + eth_failed(0, "fail reset phy\nLink not established\n"), ""},
          {&kComprehensive, eth_failed(7, "fail reset phy\nLink not established\n"), ""}}},
        // The clean-up's delete of the entry that was never set fails too, in the same words.
        {"arp-refused",
         {{&kMenu9, kmb_cycle(0) + eth_failed(0, "fail set arp\n"),
           "can't set arp: Operation not permitted\ncan't set arp: No such device or address\n"},
          {&kComprehensive, eth_failed(7, "fail set arp\n"), "can't set arp: Operation not permitted\n"}}},
        // Only the shell's complaint tells: without the rules the connection stays inside the
        // kernel and every run passes.
        {"iptables-absent",
         {{&kMenu9, kEthLabels[7] + "PASSED\n", "sh: iptables: not found\n"},
          {&kComprehensive, kEthLabels[7] + "PASSED\n", "sh: iptables: not found\n"}}},
        // Every pattern test passes; the record's error byte moved while they ran.
        {"ecc-error", {{&kMenu8, kEccChanged, ""}, {&kComprehensive, kEccChanged, ""}}},
        // Said before and after the pattern tests; the verdict is theirs alone.
        {"ecc-absent",
         {{&kMenu8, kNoEccFile, ""}, {&kComprehensive, kNoEccFile + kMemoryLabel + "PASSED\n", ""}}},
        {"mem-address-alias", {{&kMenu8, kTooManyMismatches, ""}, {&kComprehensive, kTooManyMismatches, ""}}},
        {"mem-tiny", {{&kMenu8, kNoBlock, ""}, {&kComprehensive, kNoBlock, ""}}},
        // No reason can be read: every reset test pending at that start is judged a mismatch.
        {"cpld-unmapped", {{&kStartUp, "mmap error errno = 1\n", ""}}},
        // The reset never comes; the next start finds the marker and the reason of a power-on.
        {"watchdog-dead",
         {{&kMenu13,
           " cpld = 0\nThe reset and CPLD reason doesn't match\nIt was watch dog reset, but cpld shows 0x0\n"
           "Watchdog reset test................FAIL\n",
           ""}}},
        {"counter-agent-reset-dead",
         {{&kMenu14,
           " cpld = 0\nThe reset and CPLD reason doesn't match\nIt was primary reset, but cpld shows 0x0\n"
           "Counter agent primary reset test................FAIL\n",
           ""},
          {&kMenu15,
           " cpld = 0\nThe reset and CPLD reason doesn't match\nIt was secondary reset, but cpld shows 0x0\n"
           "Counter agent secondary reset test................FAIL\n",
           ""}}},
    };
    return table;
}

// Faults that no test of today can detect, each with the reason. A fault leaves this list
// when a test comes to detect it; the suite says so when that happens.
const std::map<std::string, std::string>& known_gaps()
{
    static const std::map<std::string, std::string> gaps = {
        {"agentdrv-status-error",
         "the diagnostic issues request 2 only around the temperature checks and discards its answer, as the "
         "card's tests do; the failed request shows only to the daemons' agent FIFO read"},
    };
    return gaps;
}

// Faults of the host agent, which no menu reaches: the card's agent daemon meets them through
// its libraries. Each is detected when the daemon's start-up or its event handler (with one
// event waiting) returns the code below and records an agent error in the system event log.
struct DaemonDetection {
    const char* fault;
    int code;
    const char* how;
};

const std::vector<DaemonDetection>& daemon_detections()
{
    static const std::vector<DaemonDetection> table = {
        {"agent-absent", ERR_I2C, "agent_init: I2C access error"},
        {"agent-bad-complement", ERR_RESPONSE, "agent_init: invalid response data (rd_info)"},
        {"agent-fifo-stuck", ERR_INTERRUPT, "agent_event_handler: interrupt still asserted with the FIFO empty"},
        {"agent-write-fails", ERR_WRITE, "agent_init: error writing, after ten tries (rd_info)"},
    };
    return table;
}

const DaemonDetection* daemon_row_of(const std::string& fault)
{
    for (const DaemonDetection& d : daemon_detections()) {
        if (fault == d.fault) {
            return &d;
        }
    }
    return nullptr;
}

// What the agent daemon's libraries make of a fault: the first nonzero code of start-up and
// the event handler, whether the card acted on the fault, and the agent error records that
// reached the SEL daemon's queue. Needs the private IPC namespace of the calling test.
struct DaemonSeen {
    int code = 0;
    bool fired = false;
    int error_records = 0;
};

DaemonSeen probe_agent_daemon(sim::Fault fault)
{
    reset_agent_module();
    SimCard card({fault});
    DaemonSeen seen;
    seen.code = agent_init();
    if (seen.code == ERR_NONE) {
        agent_event_handler(); // the start-up dump
        card.card().host_agent().set_signal(0x16, true);
        seen.code = agent_event_handler();
    }
    seen.fired = card.card().faults().fired(fault);
    for (const SelSeen& request : take_sel_requests()) {
        for (const SelRecord& r : request.records) {
            seen.error_records += r.event_type == SEL_TYPE_AGENT_ERROR ? 1 : 0;
        }
    }
    return seen;
}

// The runs a fault is looked for in: those of its row, or start-up and the comprehensive test.
std::vector<const CardRun*> runs_of(const std::string& fault)
{
    for (const Detection& d : detections()) {
        if (fault == d.fault) {
            std::vector<const CardRun*> runs;
            for (const Shows& s : d.shows) {
                if (std::find(runs.begin(), runs.end(), s.run) == runs.end()) {
                    runs.push_back(s.run);
                }
            }
            return runs;
        }
    }
    return {&kStartUp, &kComprehensive};
}

// Every run some row names, for the healthy card.
std::vector<const CardRun*> all_runs()
{
    std::vector<const CardRun*> runs = {&kStartUp, &kComprehensive};
    for (const Detection& d : detections()) {
        for (const Shows& s : d.shows) {
            if (std::find(runs.begin(), runs.end(), s.run) == runs.end()) {
                runs.push_back(s.run);
            }
        }
    }
    return runs;
}

struct Observed {
    Session session;
    bool fired = false;
    int left_open = 0;
    std::string left_open_names;
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
        }
    };
    start(run.console);
    if (run.cut == Cut::NextStart) {
        start("exit\n");
    }
    return o;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The operator has been told something is wrong: a test FAILED (a reset test's verdict reads
// FAIL), start-up refused or warned, or a system call's error number was shown.
bool shows_a_fault(const std::string& out)
{
    return contains(out, "FAILED\n") || contains(out, "FAIL\n") || contains(out, kNotInFixture) ||
           contains(out, kNoIoExpander) || contains(out, " errno = ");
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

const Detection* row_of(const std::string& fault)
{
    for (const Detection& d : detections()) {
        if (fault == d.fault) {
            return &d;
        }
    }
    return nullptr;
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
        md << "| none (healthy card) | " << run->title << " | " << cell(*run, observe(nullptr, *run))
           << " | passes |\n";
    }
    for (const sim::FaultInfo& f : sim::fault_catalogue()) {
        const Detection* row = row_of(f.name);
        const std::string verdict = row != nullptr                    ? "detected"
                                    : daemon_row_of(f.name) != nullptr ? "detected by the agent daemon (below)"
                                    : known_gaps().count(f.name) != 0   ? "**gap** (known, below)"
                                                                        : "**gap**";
        bool first = true;
        for (const CardRun* run : runs_of(f.name)) {
            const Observed o = observe(&f, *run);
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
    md << "\n## Detected by the agent daemon\n\n"
          "No menu reaches the host agent's protocol; the card's agent daemon does. Each of these faults\n"
          "is switched on alone while the daemon's start-up runs, and its event handler with one event\n"
          "waiting; the fault is detected when the code below comes back and an agent error record\n"
          "reaches the system event log (`FaultCoverageDaemon.AgentFaultsAreDetectedByTheAgentDaemon`).\n\n"
          "| Fault | Code | What the daemon reports |\n|---|---|---|\n";
    for (const DaemonDetection& d : daemon_detections()) {
        md << "| `" << d.fault << "` | " << d.code << " (" << error_text(d.code) << ") | " << d.how << " |\n";
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

TEST(FaultCoverage, HealthyCardPassesEveryRun)
{
    for (const CardRun* run : all_runs()) {
        SCOPED_TRACE(run->title);
        const Observed o = observe(nullptr, *run);
        EXPECT_FALSE(shows_a_fault(o.session.out)) << o.session.out;
        if (run->cut != Cut::NextStart) {
            const std::string quiet = kFreshCpld + top_cycle();
            EXPECT_EQ(o.session.out.compare(0, quiet.size(), quiet), 0) << "start-up printed more than the reason";
        }
        EXPECT_EQ(o.session.err, "");
        EXPECT_EQ(o.left_open, 0) << o.left_open_names;
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
        if (daemon_row_of(f.name) != nullptr) {
            continue; // the agent daemon's test below holds it
        }
        if (const Detection* row = row_of(f.name)) {
            for (const Shows& s : row->shows) {
                const Observed o = observe(&f, *s.run);
                EXPECT_TRUE(o.fired) << s.run->title << ": the card never acted on the fault, so its verdict "
                                     << "proves nothing";
                EXPECT_TRUE(contains(o.session.out, s.out))
                    << s.run->title << " does not show\n" << s.out << "\nbut printed\n" << o.session.out;
                EXPECT_TRUE(contains(o.session.err, s.err))
                    << s.run->title << " does not report\n" << s.err << "\nbut reported\n" << o.session.err;
                EXPECT_EQ(o.left_open, 0) << s.run->title << " left open: " << o.left_open_names;
            }
            continue;
        }
        bool detected = false;
        bool fired = false;
        for (const CardRun* run : runs_of(f.name)) {
            const Observed o = observe(&f, *run);
            detected = detected || shows_a_fault(o.session.out) || !o.session.err.empty();
            fired = fired || o.fired;
            EXPECT_EQ(o.left_open, 0) << run->title << " left open: " << o.left_open_names;
        }
        if (const auto gap = known_gaps().find(f.name); gap != known_gaps().end()) {
            EXPECT_FALSE(detected) << "listed as a known gap (" << gap->second << "), but it is detected now: "
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
