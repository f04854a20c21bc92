// The catalogue of what can go wrong with a card or its fixture, and which of those faults
// are switched on for this run. A model asks `act` at the point where it would misbehave; the
// answer also records that the fault took effect, so a run can tell a fault that the
// diagnostic missed from one that no test reached.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

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
// The catalogue name closest to `name` (edit distance), for the operator's error message.
std::string nearest_fault_name(std::string_view name);

class Faults {
public:
    void enable(Fault fault) { on_[index(fault)] = true; }
    bool enabled(Fault fault) const { return on_[index(fault)]; }
    // True when the fault is on; the model is about to act on it.
    bool act(Fault fault)
    {
        if (!on_[index(fault)]) {
            return false;
        }
        fired_[index(fault)] = true;
        return true;
    }
    bool fired(Fault fault) const { return fired_[index(fault)]; }

private:
    static constexpr std::size_t kCount = static_cast<std::size_t>(Fault::Count_);
    static std::size_t index(Fault fault) { return static_cast<std::size_t>(fault); }
    std::array<bool, kCount> on_{};
    std::array<bool, kCount> fired_{};
};

} // namespace kmb::sim
