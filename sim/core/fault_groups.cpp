#include "sim/core/fault_groups.h"

#include <array>
#include <cstddef>
#include <utility>

namespace kmb::sim {

namespace {

constexpr FaultGroupInfo kGroups[] = {
    {FaultGroup::StartUp, "start-up's checks"},
    {FaultGroup::SerialPort, "the serial port test (menu 2)"},
    {FaultGroup::CounterAgent, "the counter agent i2c bus test (menu 3)"},
    {FaultGroup::AgentBus, "the agent i2c bus test (menu 4)"},
    {FaultGroup::Temperature, "the temperature sensor test (menu 5)"},
    {FaultGroup::AgentIrq, "the agent IRQ test (menu 6)"},
    {FaultGroup::AgentIirq, "the agent IIRQ test (menu 7)"},
    {FaultGroup::Memory, "the memory test (menu 8)"},
    {FaultGroup::Ethernet, "the Ethernet loopback test (menu 9)"},
    {FaultGroup::Watchdog, "the watchdog reset test (menu 13), at the next start"},
    {FaultGroup::CounterAgentReset, "the counter agent reset tests (menus 14 and 15), at the next start"},
    {FaultGroup::AgentDaemon, "the card's agent daemon, which no menu reaches"},
    {FaultGroup::NoTest, "no test of today: a known gap of the diagnostic"},
};

using G = FaultGroup;

// Where each fault first shows, in the order of the catalogue.
constexpr std::pair<Fault, FaultGroup> kSeenBy[] = {
    {Fault::NoFixture, G::StartUp},
    {Fault::I2cBusAbsent, G::StartUp},
    {Fault::IoxAbsent, G::StartUp},
    {Fault::IoxNack, G::StartUp},
    {Fault::CounterAgentAbsent, G::CounterAgent},
    {Fault::CounterAgentNack, G::CounterAgent},
    {Fault::CounterAgentPin7StuckLow, G::CounterAgent},
    {Fault::CounterAgentPin7StuckHigh, G::CounterAgent},
    {Fault::CounterAgentOutputBit0Stuck, G::CounterAgent},
    {Fault::AgentdrvAbsent, G::AgentIrq},
    {Fault::AgentdrvStatusError, G::NoTest},
    {Fault::AgentIrqStuckLow, G::AgentIrq},
    {Fault::AgentIrqOpen, G::AgentIrq},
    {Fault::AgentIirqStuckLow, G::AgentIirq},
    {Fault::AgentIirqOpen, G::AgentIirq},
    {Fault::IoxPolarityBit0Stuck, G::AgentBus},
    {Fault::Lm77Absent, G::Temperature},
    {Fault::Lm77IntStuck, G::Temperature},
    {Fault::Lm77IntOpen, G::Temperature},
    {Fault::Lm77CritStuck, G::Temperature},
    {Fault::Lm77CritOpen, G::Temperature},
    {Fault::EthNoCable, G::Ethernet},
    {Fault::EthNoIp, G::Ethernet},
    {Fault::EthDmaCorrupt, G::Ethernet},
    {Fault::EthLinkDown, G::Ethernet},
    {Fault::PhyResetStuck, G::Ethernet},
    {Fault::ArpRefused, G::Ethernet},
    {Fault::IptablesAbsent, G::NoTest},
    {Fault::AgentAbsent, G::AgentDaemon},
    {Fault::AgentBadComplement, G::AgentDaemon},
    {Fault::AgentFifoStuck, G::AgentDaemon},
    {Fault::AgentWriteFails, G::AgentDaemon},
    {Fault::SerialAbsent, G::SerialPort},
    {Fault::SerialNoLoopback, G::SerialPort},
    {Fault::SerialRtsCtsOnly, G::SerialPort},
    {Fault::SerialRing, G::SerialPort},
    {Fault::SerialDropByte, G::SerialPort},
    {Fault::SerialCorrupt, G::SerialPort},
    {Fault::EccError, G::Memory},
    {Fault::EccAbsent, G::NoTest},
    {Fault::MemAddressAlias, G::Memory},
    {Fault::MemTiny, G::Memory},
    {Fault::CpldUnmapped, G::StartUp},
    {Fault::WatchdogDead, G::Watchdog},
    {Fault::CounterAgentResetDead, G::CounterAgentReset},
    {Fault::AgentReadRefused, G::AgentDaemon},
    {Fault::AgentReadSlow, G::AgentDaemon},
    {Fault::AgentBusRecovers, G::AgentDaemon},
    {Fault::AgentSlowPowerCycle, G::AgentDaemon},
    {Fault::Lm77ReadFails, G::Temperature},
    {Fault::EthPortTaken, G::Ethernet},
    {Fault::DevMemAbsent, G::StartUp},
    {Fault::EthWireCorrupt, G::Ethernet},
    {Fault::SerialCtsDsrBridged, G::SerialPort},
    {Fault::EthLinkDrops, G::Ethernet},
    {Fault::LogsFull, G::Watchdog},
};

// A fault added to the catalogue needs its group here before anything builds.
constexpr bool every_fault_once()
{
    std::array<int, static_cast<std::size_t>(Fault::Count_)> seen{};
    for (const auto& [fault, group] : kSeenBy) {
        ++seen[static_cast<std::size_t>(fault)];
    }
    for (int n : seen) {
        if (n != 1) {
            return false;
        }
    }
    return true;
}
static_assert(every_fault_once(), "every fault of the catalogue belongs to exactly one group");

} // namespace

std::span<const FaultGroupInfo> fault_groups() { return kGroups; }

FaultGroup fault_group(Fault fault)
{
    for (const auto& [f, group] : kSeenBy) {
        if (f == fault) {
            return group;
        }
    }
    return FaultGroup::NoTest; // unreachable: the table holds every fault
}

} // namespace kmb::sim
