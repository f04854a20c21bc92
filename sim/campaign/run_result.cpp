#include "sim/campaign/run_result.h"

#include <nlohmann/json.hpp>

#include "sim/core/fault_groups.h"
#include "sim/core/faults.h"

namespace kmb::sim {

namespace {

using nlohmann::json;

// Each test's verdict label as the console shows it, and the group of faults it sees.
struct TestLabel {
    std::string_view start;
    FaultGroup group;
};

constexpr TestLabel kTestLabels[] = {
    {"Serial port test", FaultGroup::SerialPort},
    {"Counter agent i2c bus test", FaultGroup::CounterAgent},
    {"Agent i2c bus test", FaultGroup::AgentBus},
    {"Temperature sensor test", FaultGroup::Temperature},
    {"Agent IRQ test", FaultGroup::AgentIrq},
    {"Agent IIRQ test", FaultGroup::AgentIirq},
    {"Memory test", FaultGroup::Memory},
    {"Internal Ethernet loopback", FaultGroup::Ethernet},
    {"External Ethernet loopback", FaultGroup::Ethernet},
};

std::optional<FaultGroup> group_of_test(std::string_view test)
{
    for (const TestLabel& t : kTestLabels) {
        if (test.starts_with(t.start)) {
            return t.group;
        }
    }
    return std::nullopt; // the comprehensive test's sum, a reset test
}

std::optional<double> number_or_null(const json& j, const char* key, bool& ok)
{
    const auto it = j.find(key);
    if (it == j.end() || it->is_null()) {
        return std::nullopt;
    }
    if (!it->is_number()) {
        ok = false;
        return std::nullopt;
    }
    return it->get<double>();
}

bool read_verdicts(const json& all, RunResult& out)
{
    for (const json& v : all) {
        if (!v.is_object() || !v.contains("test") || !v["test"].is_string() || !v.contains("verdict") ||
            !v["verdict"].is_string() || !v.contains("card_seconds") || !v["card_seconds"].is_number()) {
            return false;
        }
        const std::string verdict = v["verdict"].get<std::string>();
        if (verdict != "PASSED" && verdict != "FAILED") {
            return false;
        }
        out.verdicts.push_back({v["test"].get<std::string>(), verdict == "PASSED", v["card_seconds"].get<double>()});
    }
    return true;
}

bool read_faults(const json& all, RunResult& out)
{
    for (const json& f : all) {
        if (!f.is_object() || !f.contains("name") || !f["name"].is_string()) {
            return false;
        }
        bool ok = true;
        ReportedFault r{f["name"].get<std::string>(), number_or_null(f, "from", ok).value_or(0),
                        number_or_null(f, "to", ok), number_or_null(f, "first_fired", ok)};
        if (!ok) {
            return false;
        }
        out.faults.push_back(r);
    }
    return true;
}

// The verdict's stretch of card time: from the verdict before it to its own.
struct Stretch {
    double begin;
    double end;
};

Stretch stretch_of(const RunResult& r, std::size_t verdict)
{
    return {verdict == 0 ? 0 : r.verdicts[verdict - 1].card_seconds, r.verdicts[verdict].card_seconds};
}

// A test is bound to see only a fault that is there for all of its run. A window that opens
// or closes inside it may meet only accesses whose outcome the test does not judge (an LM77
// read whose value it throws away), so its verdict then says nothing either way.
bool on_throughout(const ReportedFault& f, const Stretch& s)
{
    return f.from <= s.begin && (!f.to || *f.to >= s.end);
}

} // namespace

std::optional<RunResult> parse_run_report(std::string_view text, std::string& error)
{
    if (text.size() > kMaxReportBytes) {
        error = "larger than any report";
        return std::nullopt;
    }
    const json j = json::parse(text.begin(), text.end(), nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        error = "not a JSON object";
        return std::nullopt;
    }
    RunResult out;
    const auto status = j.find("exit_status");
    const auto verdicts = j.find("verdicts");
    const auto faults = j.find("faults");
    if (status == j.end() || !status->is_number_integer() || verdicts == j.end() || !verdicts->is_array() ||
        faults == j.end() || !faults->is_array()) {
        error = "no exit_status, verdicts or faults";
        return std::nullopt;
    }
    const int64_t s = status->get<int64_t>();
    out.exit_status = s < 0 || s > 255 ? -1 : static_cast<int>(s);
    if (!read_verdicts(*verdicts, out) || !read_faults(*faults, out)) {
        error = "a verdict or fault of the wrong shape";
        return std::nullopt;
    }
    return out;
}

std::vector<std::string> contradictions(const RunResult& r)
{
    std::vector<std::string> found;
    bool any_fired = false;
    for (const ReportedFault& f : r.faults) {
        if (!f.first_fired) {
            continue;
        }
        any_fired = true;
        const std::optional<Fault> fault = fault_by_name(f.name);
        if (!fault) {
            found.push_back("fault " + f.name + " is not in the catalogue");
            continue;
        }
        // The report tells only where the fault first fired: a fault on for the whole run may
        // take effect in some of its test's runs and not others (a corrupted frame now and then).
        for (std::size_t i = 0; i < r.verdicts.size(); ++i) {
            const ReportedVerdict& v = r.verdicts[i];
            if (group_of_test(v.test) != fault_group(*fault) || !v.passed) {
                continue;
            }
            const Stretch s = stretch_of(r, i);
            if (*f.first_fired >= s.begin && *f.first_fired <= s.end && on_throughout(f, s)) {
                found.push_back(v.test + " PASSED though " + f.name + " fired");
            }
        }
    }
    for (const ReportedVerdict& v : r.verdicts) {
        if (!any_fired && !v.passed) {
            found.push_back(v.test + " FAILED though no fault fired");
        }
    }
    return found;
}

} // namespace kmb::sim
