#include "sim/app/run_report.h"

#include <nlohmann/json.hpp>

namespace kmb::sim {

namespace {

using nlohmann::json;

constexpr std::string_view kPassed = "PASSED";
constexpr std::string_view kFailed = "FAILED";

// Card time as JSON seconds; microseconds are exact in a double for any run's length.
double seconds(int64_t us) { return static_cast<double>(us) / 1e6; }

std::string utc_text(time_t when)
{
    tm parts{};
    char text[32] = "";
    if (gmtime_r(&when, &parts) != nullptr) {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    }
    return text;
}

json fault_json(const FaultOutcome& f)
{
    json out = {{"name", fault_info(f.fault).name}};
    const FaultWindow window = f.window.value_or(FaultWindow{});
    out["from"] = seconds(window.from_us);
    out["to"] = window.to_us == FaultWindow::kForever ? json(nullptr) : json(seconds(window.to_us));
    out["fired"] = f.fired;
    out["first_fired"] = f.fired ? json(seconds(f.first_fired_us)) : json(nullptr);
    return out;
}

} // namespace

std::optional<Verdict> verdict_of(std::string_view line, int64_t us)
{
    const bool passed = line.ends_with(kPassed);
    if (!passed && !line.ends_with(kFailed)) {
        return std::nullopt;
    }
    std::string_view label = line.substr(0, line.size() - kPassed.size());
    // A verdict follows its label's dots; "FAILED" on a line of its own is something else.
    if (label.empty() || label.back() != '.') {
        return std::nullopt;
    }
    while (!label.empty() && (label.back() == '.' || label.back() == ' ')) {
        label.remove_suffix(1);
    }
    if (label.empty()) {
        return std::nullopt;
    }
    return Verdict{std::string(label), passed, us};
}

std::string run_report_json(const RunRecord& record)
{
    json verdicts = json::array();
    for (const Verdict& v : record.verdicts) {
        verdicts.push_back(
            {{"test", v.test}, {"verdict", v.passed ? kPassed : kFailed}, {"card_seconds", seconds(v.us)}});
    }
    json faults = json::array();
    for (const FaultOutcome& f : record.faults) {
        faults.push_back(fault_json(f));
    }
    const json out = {
        {"version", record.version},
        {"start_time", static_cast<int64_t>(record.start_time)},
        {"start_time_utc", utc_text(record.start_time)},
        {"card_seconds", seconds(record.card_us)},
        {"exit_status", record.exit_status},
        {"verdicts", verdicts},
        {"lamps", {{"fail", record.fail_lamp}, {"pass", record.pass_lamp}}},
        {"faults", faults},
    };
    // A label is the console's bytes: whatever is not UTF-8 is replaced, never a reason to fail.
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace kmb::sim
