#include "sim/kernel/interrupts.h"

#include <cstdio>
#include <optional>

#include "sim/core/wiring.h"

namespace kmb::sim {

namespace {

// The lines that have a source on the card, with the names their handlers register and the
// faults that the wiring from each source can have.
struct LineInfo {
    int line;
    const char* name;
    Wire wire;
    std::optional<Fault> stuck; // shorted to ground: asserted whatever the source does
    std::optional<Fault> open;  // broken: the controller never sees the source
};

const LineInfo kLineInfo[] = {
    {wiring::kAgentIrqLine, "agent_irq", Wire::AgentIrqN, Fault::AgentIrqStuckLow, Fault::AgentIrqOpen},
    {wiring::kAgentIirqLine, "agent_iirq", Wire::AgentIirqN, Fault::AgentIirqStuckLow, Fault::AgentIirqOpen},
    {wiring::kLm77IntLine, "lm77_int", Wire::Lm77IntN, Fault::Lm77IntStuck, Fault::Lm77IntOpen},
    {wiring::kLm77CritLine, "lm77_crit", Wire::Lm77TCritAN, Fault::Lm77CritStuck, Fault::Lm77CritOpen},
};

const LineInfo* info_of(int line)
{
    for (const LineInfo& info : kLineInfo) {
        if (info.line == line) {
            return &info;
        }
    }
    return nullptr;
}

bool valid(int line) { return line >= 0 && line < InterruptLines::kLines; }

// The kernel's layout: the number right-aligned in three columns and a colon, one count
// column of ten per CPU, the controller and its flow, then the handler's name.
constexpr const char* kController = "KMBPIC";
constexpr const char* kFlow = "level";
constexpr int kTimerHz = 100;

} // namespace

InterruptLines::InterruptLines(Faults& faults) : faults_(faults) {}

bool InterruptLines::asserted(int line)
{
    if (!valid(line)) {
        return false;
    }
    const LineInfo* info = info_of(line);
    if (info != nullptr && info->stuck && faults_.active(*info->stuck)) {
        // The short shows only where it changes what the controller sees.
        if (!source_[line]) {
            faults_.act(*info->stuck);
        }
        return true;
    }
    if (info != nullptr && info->open && faults_.active(*info->open)) {
        if (source_[line]) {
            faults_.act(*info->open);
        }
        return false;
    }
    return source_[line];
}

void InterruptLines::take_if_due(int line)
{
    if (armed_[line] && asserted(line)) {
        ++count_[line];
        armed_[line] = false;
        if (trace_ != nullptr && trace_->enabled()) {
            trace_->note("irq " + std::to_string(line) + " taken " + std::to_string(count_[line]));
        }
    }
}

void InterruptLines::set_trace(Trace* trace)
{
    trace_ = trace;
    trace_levels();
}

void InterruptLines::trace_levels()
{
    if (trace_ == nullptr) {
        return;
    }
    for (const LineInfo& info : kLineInfo) {
        bool low = source_[info.line];
        if (info.stuck && faults_.active(*info.stuck)) {
            low = true;
        } else if (info.open && faults_.active(*info.open)) {
            low = false;
        }
        trace_->wire(info.wire, low ? 0 : 1);
    }
}

void InterruptLines::set_source(int line, bool asserted)
{
    if (!valid(line)) {
        return;
    }
    source_[line] = asserted;
    trace_levels();
    if (asserted) {
        take_if_due(line);
    }
}

void InterruptLines::arm(int line)
{
    if (!valid(line)) {
        return;
    }
    armed_[line] = true;
    take_if_due(line);
}

void InterruptLines::disarm(int line)
{
    if (valid(line)) {
        armed_[line] = false;
    }
}

bool InterruptLines::armed(int line) const { return valid(line) && armed_[line]; }

uint32_t InterruptLines::count(int line) const { return valid(line) ? count_[line] : 0; }

std::string InterruptLines::proc_interrupts(int64_t uptime_us) const
{
    std::string text = "           CPU0       \n";
    char row[96];
    for (const LineInfo& info : kLineInfo) {
        std::snprintf(row, sizeof row, "%3d: %10u  %8s-%-8s  %s\n", info.line, count_[info.line], kController, kFlow,
                      info.name);
        text += row;
    }
    const auto ticks = static_cast<unsigned long long>(uptime_us / (1000000 / kTimerHz));
    std::snprintf(row, sizeof row, "LOC: %10llu   Local timer interrupts\n", ticks);
    text += row;
    return text;
}

} // namespace kmb::sim
