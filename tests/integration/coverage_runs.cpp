#include "integration/coverage_runs.h"

#include <map>
#include <utility>

#include <sys/msg.h>

#include "agent/agent_api.h"
#include "agent/agent_protocol.h"
#include "console/operator_texts.h"
#include "devices/error_codes.h"
#include "ipc/msg_queue.h"
#include "os/os.h"
#include "sim/core/card_reset.h"
#include "support/agent_card.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

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

} // namespace

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

namespace {

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

} // namespace

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

bool fails_a_test(const std::string& out)
{
    return contains(out, "FAILED\n") || contains(out, "FAIL\n") || contains(out, kNotInFixture) ||
           contains(out, kNoIoExpander);
}

bool shows_a_fault(const std::string& out) { return fails_a_test(out) || contains(out, " errno = "); }

namespace {

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

} // namespace

// Start-up before the first menu, a test between its prompt and the next test menu, a command
// between the first prompt and the next menu.
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

} // namespace kmb::test
