// The options of what a run writes for the engineer and of the environment over card time:
// --trace, --vcd, --report, --console-log, --temp-profile and the window of a --fault.
#pragma once

#include <optional>
#include <string>

#include "sim/app/options.h"
#include "sim/core/faults.h"

namespace kmb::sim {

int apply_trace(const OptionUse& u);
int apply_vcd(const OptionUse& u);
int apply_report(const OptionUse& u);
int apply_console_log(const OptionUse& u);
int apply_temp_profile(const OptionUse& u);

// "NAME", "NAME@SECONDS" (on from then) or "NAME@FROM-TO" (on for [FROM, TO)): the name, and
// the window when one is given. nullopt, explained on `err`, for a window that is not one.
struct FaultRequest {
    std::string name;
    std::optional<FaultWindow> window;
};
std::optional<FaultRequest> split_fault_request(const std::string& option, const std::string& value, FILE* err);

} // namespace kmb::sim
