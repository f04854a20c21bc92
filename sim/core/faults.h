// The catalogue of what can go wrong with a card or its fixture, and which of those faults
// are switched on for this run. A model asks `act` at the point where it would misbehave; the
// answer also records that the fault took effect, so a run can tell a fault that the
// diagnostic missed from one that no test reached.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kmb::sim {

enum class Fault {
    NoFixture,
    I2cBusAbsent,
    IoxAbsent,
    IoxNack,
    CounterAgentAbsent,
    CounterAgentNack,
    CounterAgentPin7StuckLow,
    CounterAgentPin7StuckHigh,
    CounterAgentOutputBit0Stuck,
    AgentdrvAbsent,
    AgentdrvStatusError,
    AgentIrqStuckLow,
    AgentIrqOpen,
    AgentIirqStuckLow,
    AgentIirqOpen,
    IoxPolarityBit0Stuck,
    Lm77Absent,
    Lm77IntStuck,
    Lm77IntOpen,
    Lm77CritStuck,
    Lm77CritOpen,
    EthNoCable,
    EthNoIp,
    EthDmaCorrupt,
    EthLinkDown,
    PhyResetStuck,
    ArpRefused,
    IptablesAbsent,
    AgentAbsent,
    AgentBadComplement,
    AgentFifoStuck,
    AgentWriteFails,
    SerialAbsent,
    SerialNoLoopback,
    SerialRtsCtsOnly,
    SerialRing,
    SerialDropByte,
    SerialCorrupt,
    EccError,
    EccAbsent,
    MemAddressAlias,
    MemTiny,
    CpldUnmapped,
    WatchdogDead,
    CounterAgentResetDead,
    // The host agent's faults that the agent daemon's tries ride out, or run out of.
    AgentReadRefused,
    AgentReadSlow,
    AgentBusRecovers,
    AgentSlowPowerCycle,
    // Faults that reach the diagnostic's messages no fault above provokes.
    Lm77ReadFails,
    EthPortTaken,
    DevMemAbsent,
    EthWireCorrupt,
    SerialCtsDsrBridged,
    EthLinkDrops,
    LogsFull,
    Count_
};

struct FaultInfo {
    Fault fault;
    const char* name;
    const char* meaning;
};

std::span<const FaultInfo> fault_catalogue();
const FaultInfo& fault_info(Fault fault);
std::optional<Fault> fault_by_name(std::string_view name);

// When a fault is on, in card time since the diagnostic started: [from_us, to_us).
struct FaultWindow {
    static constexpr int64_t kForever = INT64_MAX;
    int64_t from_us = 0;
    int64_t to_us = kForever;
};

class VirtualClock;
class Trace;

class Faults {
public:
    // On for the whole run.
    void enable(Fault fault) { enable(fault, FaultWindow{}); }
    // On for a window of card time, as an intermittent fault comes and goes; a fault may have
    // several.
    void enable(Fault fault, FaultWindow window);
    // Asked for at some time of the run: a model sets up what the fault needs.
    bool enabled(Fault fault) const { return on_[index(fault)]; }
    // On at the card time now. Asks nothing of the model and marks nothing.
    bool active(Fault fault) const;
    // True when the fault is on now; the model is about to act on it. The first time is kept
    // and every time is traced.
    bool act(Fault fault)
    {
        if (!on_[index(fault)] || !active(fault)) {
            return false;
        }
        took_effect(fault);
        return true;
    }
    bool fired(Fault fault) const { return first_fired_us_[index(fault)] >= 0; }
    // The card time it first took effect, or -1.
    int64_t first_fired_us(Fault fault) const { return first_fired_us_[index(fault)]; }
    const std::vector<FaultWindow>& windows(Fault fault) const { return windows_[index(fault)]; }

    // The card's clock tells the time of day for the windows, and the trace hears of every
    // time a fault takes effect. Without a clock it is always 0.
    void attach(const VirtualClock* clock, Trace* trace)
    {
        clock_ = clock;
        trace_ = trace;
    }

private:
    static constexpr std::size_t kCount = static_cast<std::size_t>(Fault::Count_);
    static std::size_t index(Fault fault) { return static_cast<std::size_t>(fault); }
    void took_effect(Fault fault);

    std::array<bool, kCount> on_{};
    std::array<std::vector<FaultWindow>, kCount> windows_{};
    std::array<int64_t, kCount> first_fired_us_ = [] {
        std::array<int64_t, kCount> a{};
        a.fill(-1);
        return a;
    }();
    const VirtualClock* clock_ = nullptr;
    Trace* trace_ = nullptr;
};

} // namespace kmb::sim
