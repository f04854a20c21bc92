// The table of what each fault of the simulated card must show, written from the diagnostic's
// own messages; the fault-coverage test holds the card to it.
#include "integration/fault_detections.h"

#include <algorithm>

#include "console/operator_texts.h"
#include "devices/error_codes.h"

namespace kmb::test {
namespace {

using sim::FaultGroup;

const CardRun kStartUp{"Start-up", "exit\n", Cut::StartUp, FaultGroup::StartUp};
const CardRun kMenu3{"Counter agent i2c bus test (menu 3)", "kmb\n3\n99\nexit\n",
                     Cut::TestMenu, FaultGroup::CounterAgent};
const CardRun kMenu2{"Serial port test (menu 2)", "kmb\n2\n99\nexit\n", Cut::TestMenu, FaultGroup::SerialPort};
const CardRun kMenu5{"Temperature sensor test (menu 5)", "kmb\n5\n99\nexit\n", Cut::TestMenu, FaultGroup::Temperature};
const CardRun kMenu4{"Agent i2c bus test (menu 4)", "kmb\n4\n99\nexit\n", Cut::TestMenu, FaultGroup::AgentBus};
const CardRun kMenu6{"Agent IRQ test (menu 6)", "kmb\n6\n99\nexit\n", Cut::TestMenu, FaultGroup::AgentIrq};
const CardRun kMenu7{"Agent IIRQ test (menu 7)", "kmb\n7\n99\nexit\n", Cut::TestMenu, FaultGroup::AgentIirq};
const CardRun kComprehensive{"Comprehensive test", "all\nexit\n", Cut::TopLevel, FaultGroup::NoTest};
const CardRun kMenu9{"Ethernet loopback test (menu 9)", "kmb\n9\n99\nexit\n", Cut::TestMenu, FaultGroup::Ethernet};
const CardRun kMenu8{"Memory access test (menu 8)", "kmb\n8\n99\nexit\n", Cut::TestMenu, FaultGroup::Memory};
const CardRun kMenu13{"Watchdog test (menu 13), then the next start", "kmb\n13\ny\n99\nexit\n",
                      Cut::NextStart, FaultGroup::Watchdog};
const CardRun kMenu14{"Counter agent reset primary (menu 14), then the next start", "kmb\n14\ny\n99\nexit\n",
                      Cut::NextStart, FaultGroup::CounterAgentReset};
const CardRun kMenu15{"Counter agent reset secondary (menu 15), then the next start", "kmb\n15\ny\n99\nexit\n",
                      Cut::NextStart, FaultGroup::CounterAgentReset};

// A fault that shows the same texts in its own run and in the comprehensive test.
std::vector<Shows> menu_and_all(const CardRun& run, const std::string& out, const std::string& err = "")
{
    return {{&run, out, err}, {&kComprehensive, out, err}};
}

const std::string kDefaultsHint = "Error read back output port default value\n"
                                  "expect: 0x00         read: 0x1\n";

// The Ethernet runs' first failure as each fault shows it, the messages before the verdict
// included.
std::string eth_failed(int run, const std::string& before) { return before + kEthLabels[run] + "FAILED\n" + kEthHints; }

std::string corrupted_bytes()
{
    // One bit of every 1,000th byte received is flipped: the first eleven of the first cycle.
    const char* pairs[][2] = {{"e7", "e5"}, {"cf", "cb"}, {"b7", "bf"}, {"9f", "8f"}, {"87", "a7"}, {"6f", "2f"},
                              {"57", "d7"}, {"3f", "3e"}, {"27", "25"}, {"f", "b"},   {"f7", "ff"}};
    std::string text;
    for (const auto& p : pairs) {
        text += "Error: receive data not correct, \nexpected : 0x" + std::string(p[0]) + ", received: 0x" + p[1] + "\n";
    }
    return text;
}
const std::string kEccChanged = "ECC error happened!\n" + kMemoryFailed;
const std::string kTooManyMismatches = "too much error, exit\n" + kMemoryFailed;
const std::string kNoBlock = "unable to allocate at least 2M byte memory\n" + kMemoryFailed;

} // namespace

const std::vector<Detection>& detections()
{
    static const std::vector<Detection> table = {
        // The program refuses to start, whatever was asked of it.
        {"no-fixture", menu_and_all(kStartUp, kNotInFixture)},
        // No bus at all: start-up's warning, and the counter agent test cannot open it.
        {"i2c-bus-absent",
         {{&kStartUp, kNoIoExpander, ""},
          {&kMenu3, kCounterAgentFailed, "Error open i2c device: No such file or directory\n"},
          {&kComprehensive, kCounterAgentFailed, "Error open i2c device: No such file or directory\n"}}},
        // The expander drives only the lamps and the agent lines; start-up is where it shows.
        {"iox-absent", {{&kStartUp, kNoIoExpander, ""}}},
        // Bound but deaf: every lamp change fails at its register read, and says so.
        {"iox-nack", {{&kStartUp, "", "Error write to counter agent: Remote I/O error\n"}}},
        {"counter-agent-absent",
         menu_and_all(kMenu3, kCounterAgentFailed, "Error open i2c device: No such device or address\n")},
        {"counter-agent-nack", menu_and_all(kMenu3, kCounterAgentFailed, "Error read from counter agent: Remote I/O error\n")},
        // Pin 7 fails the drive-and-read-back with no message of its own before the verdict:
        // stuck low fails the driven-high half, stuck high the driven-low half.
        {"counter-agent-pin7-stuck-low",
         {{&kMenu3, kmb_cycle(0) + kCounterAgentFailed, ""},
          {&kComprehensive, kSerialLabel + "PASSED\n" + kCounterAgentFailed, ""}}},
        {"counter-agent-pin7-stuck-high",
         {{&kMenu3, kmb_cycle(0) + kCounterAgentFailed, ""},
          {&kComprehensive, kSerialLabel + "PASSED\n" + kCounterAgentFailed, ""}}},
        // The port's node, its modem lines through the connector, and the data looped back.
        {"serial-absent", menu_and_all(kMenu2, kSerialFailed, "serial port open file fail: No such file or directory\n")},
        {"serial-no-loopback",
         {{&kMenu2, "expected: DTR, RTS, CTS, CAR, DSR\nmodem status read: DTR RTS \n" + kSerialFailed, ""},
          {&kComprehensive, "modem status read: DTR RTS \n" + kSerialFailed, ""}}},
        {"serial-rts-cts-only",
         {{&kMenu2, "expected: DTR, RTS, CTS, CAR, DSR\nmodem status read: DTR RTS CTS \n" + kSerialFailed, ""},
          {&kComprehensive, "modem status read: DTR RTS CTS \n" + kSerialFailed, ""}}},
        // Both outputs on, or both off, read right; RTS alone brings DSR along.
        {"serial-cts-dsr-bridged",
         menu_and_all(kMenu2, "Error check control line\nexpected: RTS, CTS\nmodem status read: RTS CTS DSR \n" +
                                  kSerialFailed)},
        {"serial-ring", menu_and_all(kMenu2, "expected: ALL LINES '0'\nmodem status read: \n" + kSerialFailed)},
        {"serial-drop-byte", menu_and_all(kMenu2, "not all data received\n" + kSerialFailed)},
        {"serial-corrupt", menu_and_all(kMenu2, "data error, i = 10, expected 0xa, receive 0xb\n" + kSerialFailed)},
        {"counter-agent-output-bit0-stuck", menu_and_all(kMenu3, kDefaultsHint + kCounterAgentFailed)},
        // Nothing arms the agent's lines: the pulses go uncounted.
        {"agentdrv-absent",
         {{&kMenu6, kmb_cycle(0) + kIrqMissed + kAgentIrqFailed, ""},
          {&kMenu7, kmb_cycle(0) + kIirqMissed + kAgentIirqFailed, ""},
          {&kComprehensive, kIrqMissed + kAgentIrqFailed + kIirqMissed + kAgentIirqFailed, ""}}},
        // A line held asserted is counted before any pulse; one that never arrives, never.
        {"agent-irq-stuck-low",
         {{&kMenu6, kmb_cycle(0) + kIrqStuckLow + kAgentIrqFailed, ""},
          {&kComprehensive, kIrqStuckLow + kAgentIrqFailed + kAgentIirqPassed, ""}}},
        {"agent-irq-open",
         {{&kMenu6, kmb_cycle(0) + kIrqMissed + kAgentIrqFailed, ""},
          {&kComprehensive, kIrqMissed + kAgentIrqFailed + kAgentIirqPassed, ""}}},
        {"agent-iirq-stuck-low",
         {{&kMenu7, kmb_cycle(0) + kIirqStuckLow + kAgentIirqFailed, ""},
          {&kComprehensive, kAgentIrqPassed + kIirqStuckLow + kAgentIirqFailed, ""}}},
        {"agent-iirq-open",
         {{&kMenu7, kmb_cycle(0) + kIirqMissed + kAgentIirqFailed, ""},
          {&kComprehensive, kAgentIrqPassed + kIirqMissed + kAgentIirqFailed, ""}}},
        // The sensor's absence shows at the open; each of its lines fails its own check.
        {"lm77-absent",
         {{&kMenu5, kmb_cycle(0) + kTemperatureFailed, "Error open i2c device: No such device or address\n"},
          {&kComprehensive, kCounterAgentPassed + kTemperatureFailed + kAgentI2cPassed,
           "Error open i2c device: No such device or address\n"}}},
        // A read that fails leaves the driver's -1 as the register: -1 C, out of range.
        {"lm77-read-fails",
         menu_and_all(kMenu5, "Current temperature -1 C\nCurrent temperature is out of range, \n"
                              "check your enviroment, or LM77 chip\n" + kTemperatureFailed)},
        {"lm77-int-stuck", menu_and_all(kMenu5, kLm77IntStuck + kTemperatureFailed)},
        {"lm77-int-open", menu_and_all(kMenu5, kLm77IntMissed + kTemperatureFailed)},
        {"lm77-crit-stuck", menu_and_all(kMenu5, kLm77CritStuck + kTemperatureFailed)},
        {"lm77-crit-open", menu_and_all(kMenu5, kLm77CritMissed + kTemperatureFailed)},
        // The bus test's read-back is its only check, and it has no message of its own.
        {"iox-polarity-bit0-stuck",
         {{&kMenu4, kmb_cycle(0) + kAgentI2cFailed, ""}, {&kComprehensive, kAgentI2cFailed, ""}}},
        // The internal runs pass without the cable; the external ones never see the link.
        {"eth-no-cable",
         {{&kMenu9, kEthLabels[1] + "PASSED\n" + eth_failed(2, "Link not established\n"), ""},
          {&kComprehensive, eth_failed(7, "Link not established\n"), ""}}},
        {"eth-no-ip",
         {{&kMenu9, kmb_cycle(0) + eth_failed(0, ""), "can't get ip address\n"},
          {&kComprehensive, eth_failed(7, ""), "can't get ip address\n"}}},
        // Past the MAC's checks every damaged byte reaches the test's buffer.
        {"eth-dma-corrupt", menu_and_all(kMenu9, eth_failed(0, corrupted_bytes()))},
        // Frames damaged on the cable never arrive: the internal runs pass, the external ones
        // find no connection to accept.
        {"eth-wire-corrupt",
         {{&kMenu9, kEthLabels[1] + "PASSED\n" + eth_failed(2, ""), "accept fail:: Resource temporarily unavailable\n"},
          {&kComprehensive, eth_failed(7, ""), "accept fail:: Resource temporarily unavailable\n"}}},
        // The link drops after the first cycle of an external run: the second cycle's data is
        // lost on the line, TCP's resends come after the read a second later, which finds
        // nothing yet.
        {"eth-link-drops",
         {{&kMenu9, eth_failed(2, ""),
           "listener: read failed: Resource temporarily unavailable\n"},
          {&kComprehensive, eth_failed(7, ""), "listener: read failed: Resource temporarily unavailable\n"}}},
        {"eth-link-down",
         {{&kMenu9, eth_failed(0, "Link not established\n"), ""},
          {&kComprehensive, eth_failed(4, "Link not established\n"), ""}}},
        // Every run's bind runs into the other program's port; the set-up before it is undone.
        {"eth-port-taken",
         {{&kMenu9, kmb_cycle(0) + eth_failed(0, ""), "bind failed: Address already in use\n"},
          {&kComprehensive, eth_failed(7, ""), "bind failed: Address already in use\n"}}},
        // The PHY held in reset never brings the link up either.
        {"phy-reset-stuck",
         {{&kMenu9, kmb_cycle(0) + eth_failed(0, "fail reset phy\nLink not established\n"), ""},
          {&kComprehensive, eth_failed(7, "fail reset phy\nLink not established\n"), ""}}},
        // The clean-up's delete of the entry that was never set fails too, in the same words.
        {"arp-refused",
         {{&kMenu9, kmb_cycle(0) + eth_failed(0, "fail set arp\n"),
           "can't set arp: Operation not permitted\ncan't set arp: No such device or address\n"},
          {&kComprehensive, eth_failed(7, "fail set arp\n"), "can't set arp: Operation not permitted\n"}}},
        // Every pattern test passes; the record's error byte moved while they ran.
        {"ecc-error", menu_and_all(kMenu8, kEccChanged)},
        {"mem-address-alias", menu_and_all(kMenu8, kTooManyMismatches)},
        {"mem-tiny", menu_and_all(kMenu8, kNoBlock)},
        // No reason can be read: every reset test pending at that start is judged a mismatch.
        {"cpld-unmapped", {{&kStartUp, "mmap error errno = 1\n", ""}}},
        // No node to map the CPLD through: the same judgement as a refused mapping.
        {"devmem-absent", {{&kStartUp, "open error errno = 2\n", ""}}},
        // The reset never comes; the next start finds the marker and the reason of a power-on.
        {"watchdog-dead",
         {{&kMenu13,
           " cpld = 0\nThe reset and CPLD reason doesn't match\nIt was watch dog reset, but cpld shows 0x0\n"
           "Watchdog reset test................FAIL\n",
           ""}}},
        // No room for the marker: the test says so and the watchdog resets the card all the
        // same; the next start finds no marker and gives no verdict.
        {"logs-full", {{&kMenu13, " cpld = 80\n", "Error open file to write: No space left on device\n"}}},
        {"counter-agent-reset-dead",
         {{&kMenu14,
           " cpld = 0\nThe reset and CPLD reason doesn't match\nIt was primary reset, but cpld shows 0x0\n"
           "Counter agent primary reset test................FAIL\n",
           ""},
          {&kMenu15,
           " cpld = 0\nThe reset and CPLD reason doesn't match\nIt was secondary reset, but cpld shows 0x0\n"
           "Counter agent secondary reset test................FAIL\n",
           ""}}},
    };
    return table;
}

// A fault leaves this list when a test comes to detect it; the suite says so when that happens.
const std::map<std::string, std::string>& known_gaps()
{
    static const std::map<std::string, std::string> gaps = {
        {"iptables-absent",
         "every Ethernet run passes: without the nat rules the connection between the card's own sockets stays "
         "inside the kernel, and the only sign is the shell's `sh: iptables: not found` on standard error, which "
         "no verdict reads"},
        {"ecc-absent",
         "the memory test says `no ECC proc file` twice and passes: without the kernel's ECC record it cannot see "
         "an error the ECC caught, and its verdict does not say so"},
        {"agentdrv-status-error",
         "the diagnostic issues request 2 only around the temperature checks and discards its answer, as the "
         "card's tests do; the failed request shows only to the daemons' agent FIFO read"},
    };
    return gaps;
}

const std::vector<DaemonDetection>& daemon_detections()
{
    static const std::vector<DaemonDetection> table = {
        {"agent-absent", ERR_I2C, "agent_init: I2C access error"},
        {"agent-bad-complement", ERR_RESPONSE, "agent_init: invalid response data (rd_info)"},
        {"agent-fifo-stuck", ERR_INTERRUPT, "agent_event_handler: interrupt still asserted with the FIFO empty"},
        {"agent-write-fails", ERR_WRITE, "agent_init: error writing, after ten tries (rd_info)"},
        {"agent-read-refused", ERR_READ, "agent_init: error reading, after ten tries (rd_info)"},
    };
    return table;
}

const std::vector<DaemonRecovery>& daemon_recoveries()
{
    static const std::vector<DaemonRecovery> table = {
        {"agent-read-slow", 12,
         "three reads refused 0.2 s apart before each answer: rd_info, the FIFO twice and the command status"},
        {"agent-bus-recovers", 3, "rd_info's frame written on the fourth try, a second after the third"},
        {"agent-slow-power-cycle", 2,
         "the command status asked for 5 s after power_cycle, written on the third try, 7 s after"},
    };
    return table;
}

namespace {

// The row of `fault` in `table`, or null.
template <typename Row>
const Row* find_row(const std::vector<Row>& table, const std::string& fault)
{
    const auto it = std::find_if(table.begin(), table.end(), [&](const Row& row) { return fault == row.fault; });
    return it == table.end() ? nullptr : &*it;
}

void add_runs_of(const Detection& d, std::vector<const CardRun*>& runs)
{
    for (const Shows& s : d.shows) {
        if (std::find(runs.begin(), runs.end(), s.run) == runs.end()) {
            runs.push_back(s.run);
        }
    }
}

} // namespace

const DaemonRecovery* daemon_recovery_of(const std::string& fault) { return find_row(daemon_recoveries(), fault); }
const Detection* row_of(const std::string& fault) { return find_row(detections(), fault); }
const DaemonDetection* daemon_row_of(const std::string& fault) { return find_row(daemon_detections(), fault); }

std::vector<const CardRun*> runs_of(const std::string& fault)
{
    const Detection* row = row_of(fault);
    if (row == nullptr) {
        return {&kStartUp, &kComprehensive};
    }
    std::vector<const CardRun*> runs;
    add_runs_of(*row, runs);
    return runs;
}

std::vector<const CardRun*> all_runs()
{
    std::vector<const CardRun*> runs = {&kStartUp, &kComprehensive};
    for (const Detection& d : detections()) {
        add_runs_of(d, runs);
    }
    return runs;
}

} // namespace kmb::test
