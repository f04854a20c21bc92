// The coverage runs: each fault of the simulated card's catalogue switched on alone, run
// through the diagnostic or through the agent daemon's libraries, and what the card and the
// operator saw. Each run is made once per test program; the tests and the report read them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "integration/card_session.h"
#include "integration/fault_detections.h"
#include "integration/message_table.h"
#include "sim/core/faults.h"

namespace kmb::test {

struct Observed {
    Session session;
    bool fired = false; // the card acted on the fault
    int left_open = 0;
    std::string left_open_names;
    // Nat rules, ARP entries, promiscuous mode, sockets or memory blocks a run kept.
    std::string left_behind;
    bool pass_lamp = false;
    bool fail_lamp = false;
};

// `run` on a card with `fault` alone (none when null); made once and kept.
const Observed& observed(const sim::FaultInfo* fault, const CardRun& run);

// What every coverage run printed: the healthy card's runs, then each fault's.
std::vector<RunOutput> coverage_outputs();

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

DaemonSeen probe_agent_daemon(std::optional<sim::Fault> fault);

bool contains(const std::string& text, const std::string& part);
// A test judged the card: a FAILED or FAIL verdict, or start-up's refusal or warning.
bool fails_a_test(const std::string& out);
// The operator has been told something is wrong: a failed test, or a system call's error number.
bool shows_a_fault(const std::string& out);
// The menu that follows every part but the last.
inline constexpr const char* kMenuHeader = "\n\nKMB diagnostic menu";
// What the run printed in its own part (see Cut).
std::string part_of(const CardRun& run, const std::string& out);

} // namespace kmb::test
