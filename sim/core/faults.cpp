#include "sim/core/faults.h"

#include <algorithm>

#include "sim/core/clock.h"
#include "sim/core/trace.h"
#include <vector>

namespace kmb::sim {

namespace {

constexpr FaultInfo kCatalogue[] = {
    {Fault::NoFixture, "no-fixture", "the fixture's marker file /var/run/InTestFixture is absent"},
    {Fault::I2cBusAbsent, "i2c-bus-absent", "the I2C bus device /dev/i2c/0 is missing"},
    {Fault::IoxAbsent, "iox-absent", "nothing answers at 0x18: the I/O expander is missing or dead"},
    {Fault::IoxNack, "iox-nack",
     "the I/O expander answers its address but acknowledges none of its transfers"},
    {Fault::CounterAgentAbsent, "counter-agent-absent", "nothing answers at 0x1F: the counter agent is missing or dead"},
    {Fault::CounterAgentNack, "counter-agent-nack",
     "the counter agent takes its address and register writes but acknowledges no read"},
    {Fault::CounterAgentPin7StuckLow, "counter-agent-pin7-stuck-low",
     "the counter agent's pin 7 is shorted to ground and reads low whatever drives it"},
    {Fault::CounterAgentPin7StuckHigh, "counter-agent-pin7-stuck-high",
     "the counter agent's pin 7 is shorted to the supply and reads high whatever drives it"},
    {Fault::CounterAgentOutputBit0Stuck, "counter-agent-output-bit0-stuck",
     "bit 0 of the counter agent's output latch reads 1 whatever is written"},
    {Fault::AgentdrvAbsent, "agentdrv-absent", "the agent driver's node /dev/agentdrv is missing"},
    {Fault::AgentdrvStatusError, "agentdrv-status-error", "the agent driver fails every status request (request 2)"},
    {Fault::AgentIrqStuckLow, "agent-irq-stuck-low", "the host agent's IRQ line (25) is shorted to ground: always asserted"},
    {Fault::AgentIrqOpen, "agent-irq-open", "the host agent's IRQ line (25) never reaches the card"},
    {Fault::AgentIirqStuckLow, "agent-iirq-stuck-low",
     "the host agent's IIRQ line (26) is shorted to ground: always asserted"},
    {Fault::AgentIirqOpen, "agent-iirq-open", "the host agent's IIRQ line (26) never reaches the card"},
    {Fault::IoxPolarityBit0Stuck, "iox-polarity-bit0-stuck", "the I/O expander's polarity register reads back 0x01"},
    {Fault::Lm77Absent, "lm77-absent", "nothing answers at 0x48: the LM77 temperature sensor is missing or dead"},
    {Fault::Lm77IntStuck, "lm77-int-stuck", "the LM77's temperature interrupt line (27) is always asserted"},
    {Fault::Lm77IntOpen, "lm77-int-open", "the LM77's INT output never reaches the card (line 27)"},
    {Fault::Lm77CritStuck, "lm77-crit-stuck", "the LM77's critical interrupt line (28) is always asserted"},
    {Fault::Lm77CritOpen, "lm77-crit-open", "the LM77's T_CRIT_A output never reaches the card (line 28)"},
    {Fault::EthNoCable, "eth-no-cable", "no loopback cable in the Ethernet connector: external runs never see the link"},
    {Fault::EthNoIp, "eth-no-ip", "eth0 has no IPv4 address"},
    {Fault::EthDmaCorrupt, "eth-dma-corrupt",
     "the MAC's receive DMA flips one bit of every 1,000th byte on its way to memory, past the frame's checks"},
    {Fault::EthLinkDown, "eth-link-down", "the PHY never reports a link, in any setting"},
    {Fault::PhyResetStuck, "phy-reset-stuck", "the PHY's reset bit never clears: the PHY stays in reset"},
    {Fault::ArpRefused, "arp-refused", "the kernel refuses to set an ARP entry (SIOCSARP fails)"},
    {Fault::IptablesAbsent, "iptables-absent", "the card has no iptables command: the loopback runs stay inside the kernel and pass, only the shell's complaint shows it"},
    {Fault::AgentAbsent, "agent-absent", "nothing answers at 0x57: the host agent is missing or dead"},
    {Fault::AgentBadComplement, "agent-bad-complement",
     "a bit flips on the host agent's responses, so a byte fails its complement check"},
    {Fault::AgentFifoStuck, "agent-fifo-stuck",
     "the host agent keeps its interrupt asserted after its event FIFO has run empty"},
    {Fault::AgentWriteFails, "agent-write-fails", "the host agent answers its address but acknowledges no write"},
    {Fault::SerialAbsent, "serial-absent", "the serial port's node /dev/tts/0 is missing"},
    {Fault::SerialNoLoopback, "serial-no-loopback",
     "the serial loopback connector is not plugged in: no status line ever active, no data back"},
    {Fault::SerialRtsCtsOnly, "serial-rts-cts-only",
     "the serial loopback connector carries RTS to CTS, but DTR reaches neither CAR nor DSR"},
    {Fault::SerialRing, "serial-ring", "the serial port's ring indicator input is always asserted"},
    {Fault::SerialDropByte, "serial-drop-byte", "the serial port loses one received byte of the first pass"},
    {Fault::SerialCorrupt, "serial-corrupt", "every byte looped back on the serial port has its bit 0 flipped"},
    {Fault::EccError, "ecc-error", "memory that the program uses has an error the ECC cannot correct"},
    {Fault::EccAbsent, "ecc-absent", "the card's kernel publishes no ECC status file /proc/kmb/ecc"},
    {Fault::MemAddressAlias, "mem-address-alias",
     "a dead address line: addresses of the memory test's span with the line's bit set (the highest power "
     "of two inside the span) read and write those with it clear"},
    {Fault::MemTiny, "mem-tiny", "the card's memory is nearly all taken: less than 4 MiB can be had"},
    {Fault::CpldUnmapped, "cpld-unmapped", "the kernel refuses the mapping of the CPLD's page through /dev/mem"},
    {Fault::WatchdogDead, "watchdog-dead", "the watchdog never resets the card, fed or not"},
    {Fault::CounterAgentResetDead, "counter-agent-reset-dead",
     "the counter agent's reset lines do not reach the card's reset logic"},
    // The host agent's faults that the agent daemon's tries ride out, or run out of.
    {Fault::AgentReadRefused, "agent-read-refused",
     "the host agent takes its commands but acknowledges no read of an answer"},
    {Fault::AgentReadSlow, "agent-read-slow",
     "the host agent acknowledges a read only once its answer is ready, 0.5 s after the command"},
    {Fault::AgentBusRecovers, "agent-bus-recovers",
     "the bus to the host agent drops its first 3 transfers, then carries every one"},
    {Fault::AgentSlowPowerCycle, "agent-slow-power-cycle",
     "after power_cycle the host agent sequences the host's supplies for 6.5 s, longer than the card "
     "waits, and acknowledges nothing meanwhile"},
    // Faults that reach the diagnostic's messages no fault above provokes.
    {Fault::Lm77ReadFails, "lm77-read-fails",
     "the LM77 answers its address and takes register writes but acknowledges no read"},
    {Fault::EthPortTaken, "eth-port-taken",
     "another program on the card listens on TCP port 9090, the Ethernet loopback test's port"},
    {Fault::DevMemAbsent, "devmem-absent",
     "the card's image has no /dev/mem node: the CPLD's reset reason cannot be reached"},
    {Fault::EthWireCorrupt, "eth-wire-corrupt",
     "the loopback cable damages every frame that crosses it: the MAC's CRC check drops them, the link stays up"},
    {Fault::SerialCtsDsrBridged, "serial-cts-dsr-bridged",
     "solder bridges the serial port's CTS and DSR input pins: either line driven reads on both"},
    {Fault::EthLinkDrops, "eth-link-drops",
     "a loose contact in the loopback cable's plug: 4 s after the link trains it drops for 3 s, then again every 7 s"},
    {Fault::LogsFull, "logs-full", "the card's log partition /mnt/logs is full: no new file can be made there"},
};
static_assert(std::size(kCatalogue) == static_cast<std::size_t>(Fault::Count_));
// fault_info() finds a fault's row by its number.
constexpr bool rows_in_enum_order()
{
    for (std::size_t i = 0; i < std::size(kCatalogue); ++i) {
        if (kCatalogue[i].fault != static_cast<Fault>(i)) {
            return false;
        }
    }
    return true;
}
static_assert(rows_in_enum_order());

} // namespace

void Faults::enable(Fault fault, FaultWindow window)
{
    if (window.to_us <= window.from_us) {
        return; // an empty window: never on
    }
    on_[index(fault)] = true;
    windows_[index(fault)].push_back(window);
}

bool Faults::active(Fault fault) const
{
    const int64_t now = clock_ != nullptr ? clock_->now_us() : 0;
    for (const FaultWindow& w : windows_[index(fault)]) {
        if (now >= w.from_us && now < w.to_us) {
            return true;
        }
    }
    return false;
}

void Faults::took_effect(Fault fault)
{
    int64_t& first = first_fired_us_[index(fault)];
    if (first < 0) {
        first = clock_ != nullptr ? clock_->now_us() : 0;
    }
    if (trace_ != nullptr && trace_->enabled()) {
        trace_->note(std::string("fault ") + fault_info(fault).name);
    }
}

std::span<const FaultInfo> fault_catalogue() { return kCatalogue; }

const FaultInfo& fault_info(Fault fault) { return kCatalogue[static_cast<std::size_t>(fault)]; }

std::optional<Fault> fault_by_name(std::string_view name)
{
    for (const FaultInfo& info : kCatalogue) {
        if (name == info.name) {
            return info.fault;
        }
    }
    return std::nullopt;
}

} // namespace kmb::sim
