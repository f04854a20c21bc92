// The texts the operator must see, written out from the diagnostic's definition. The
// transcripts below are built from these pieces; none of them is captured from the program.
#pragma once

#include <optional>
#include <string>

namespace kmb::test {

inline std::string top_menu(const std::string& version)
{
    return "\n\nKMB diagnostic menu (version " + version + ")\n"
           "---------------------------\n"
           "all     Run all KMB diagnostics\n"
           "kmb     Enter kmb diagnostic menu\n\n"
           "Commands:\n"
           "Default (restore all options to default settings)\n"
           "Exit    (exit diagnostic)\n"
           "Help    (print this commands list)\n"
           "Options (print current option settings)\n"
           "Version (print the diagnostic version)\n\n"
           "Options:\n"
           "Count   <number> (loop selected diagnostic (number) of passes)\n"
           "Loop    <yes|no> (loop selected diagnostic)\n"
           "Stop    <yes|no> (stop-on-error / keep running)\n\n";
}

// The release the simulated card ships with, as its version script reports it.
inline const std::string kShippedVersion = "3.2.0";

inline const std::string kProductionBoard = "\n";
inline const std::string kTopPrompt = "Enter Diag, Command or Option : ";

// One cycle of the top-level menu on a production board, up to its prompt.
inline std::string top_cycle(const std::string& version = kShippedVersion)
{
    return top_menu(version) + kProductionBoard + kTopPrompt;
}

inline std::string pre_production_warning(const std::string& revision)
{
    return "\nWARNING: You are using a pre-production KMB board(revision " + revision + ").\n"
           "You may wish to upgrade this to a production board.\n"
           "\n";
}

inline const std::string kKmbMenu =
    "\n\nDiagnostic Test for KMB card\n"
    "---------------------------------\n"
    " 1. Comprehensive test            70. Show KMB information\n"
    " 2. serial port test\n"
    " 3. Counter agnet i2c test\n"
    " 4. Agent i2c bus test\n"
    " 5. Temperatue sensor test\n"
    " 6. Agent IRQ test\n"
    " 7. Agent IIRQ test\n"
    " 8. Memory access test\n"
    " 9. Ethernet loopback test\n"
    "13. Watchdog test                 91. Enable/Disable looping\n"
    "14. Counter agent reset primary   92. Stop/Continue on error\n"
    "15. Counter agent reset secondary 99. Exit\n"
    "\n";

inline std::string kmb_cycle(int selection)
{
    return kKmbMenu + "Select test or feature by number [" + std::to_string(selection) + "]: ";
}

// Start-up's CPLD line on a new card, whose reset reason is 0x00.
inline const std::string kFreshCpld = " cpld = 0\n";

inline const std::string kNotInFixture = "This KMB is not in the test fixture, diagnostic won't run\n";
inline const std::string kNoIoExpander = "ERROR open IO expander, most tests can't run\n";

inline const std::string kCounterAgentLabel = "Counter agent i2c bus test .............";
inline const std::string kCounterAgentHints =
    "** Make sure the KMB card is properly seated in the **\n"
    "** fixture, or you may have a bad I2C I/O port U5   **\n";
inline const std::string kCounterAgentPassed = kCounterAgentLabel + "PASSED\n";
inline const std::string kCounterAgentFailed = kCounterAgentLabel + "FAILED\n" + kCounterAgentHints;

inline const std::string kAgentI2cLabel = "Agent i2c bus test .....................";
inline const std::string kAgentI2cPassed = kAgentI2cLabel + "PASSED\n";
inline const std::string kAgentI2cFailed = kAgentI2cLabel + "FAILED\n";
inline const std::string kAgentIrqPassed = "Agent IRQ test .........................PASSED\n";
inline const std::string kAgentIrqFailed = "Agent IRQ test .........................FAILED\n";
inline const std::string kAgentIirqPassed = "Agent IIRQ test ........................PASSED\n";
inline const std::string kAgentIirqFailed = "Agent IIRQ test ........................FAILED\n";
inline const std::string kIrqStuckLow = "IRQ stuck LOW\n";
inline const std::string kIirqStuckLow = "IIRQ stuck LOW\n";
inline const std::string kIrqMissed = "Expected agent interrupt didn't happen\nIRQ line may stuck HIGH\n";
inline const std::string kIirqMissed = "Expected agent interrupt didn't happen\nIIRQ line may stuck HIGH\n";

// The progress spinner: `count` steps after the `done` the program has printed since it started.
inline std::string spinner(int done, int count)
{
    static const char* const kSteps[] = {"|\b", "/\b", "-\b", "\\\b"};
    std::string out;
    for (int i = 1; i <= count; ++i) {
        out += kSteps[(done + i) % 4];
    }
    return out;
}

inline const std::string kSerialLabel = "Serial port test .......................";
inline const std::string kSerialHints =
    "** Make sure the KMB card is properly seated in the ***\n"
    "** fixture, or you may have a bad CPU               ***\n";
inline const std::string kSerialFailed = kSerialLabel + "FAILED\n" + kSerialHints;
inline constexpr int kSerialPasses = 15; // one spinner step each
// A good serial port test, after `done` spinner steps.
inline std::string serial_passed(int done) { return spinner(done, kSerialPasses) + kSerialLabel + "PASSED\n"; }

inline const std::string kTemperatureLabel = "Temperature sensor test ................";
inline const std::string kTemperatureHint = "** Check CPU and LM77 chip           **\n";
inline const std::string kTemperaturePassed = kTemperatureLabel + "PASSED\n";
inline const std::string kTemperatureFailed = kTemperatureLabel + "FAILED\n" + kTemperatureHint;
inline const std::string kLm77OutOfRange = "Current temperature is out of range, \ncheck your enviroment, or LM77 chip\n";
inline const std::string kLm77IntStuck =
    "interrupt happenes without trigger\nyou may have temperature interrupt line stuck LOW\n";
inline const std::string kLm77IntMissed =
    "Expected LM77 interrupt didn't happen\ntemperature interrupt line may stuck HIGH\n";
inline const std::string kLm77CritStuck =
    "critical interrupt happenes without trigger\ncritical interrupt line may stuck LOW\n";
inline const std::string kLm77CritMissed =
    "Expected LM77 critical interrupt didn't happen\ncritical interrupt line may stuck HIGH\n";
inline constexpr int kTemperatureSteps = 3; // one spinner step before each of the three checks
inline std::string current_temperature(int celsius) { return "Current temperature " + std::to_string(celsius) + " C\n"; }
// A good temperature sensor test at the simulated card's 25 degrees, after `done` spinner steps.
inline std::string temperature_passed(int done)
{
    return current_temperature(25) + spinner(done, kTemperatureSteps) + kTemperaturePassed;
}

// The Ethernet loopback test's eight runs in their order, each label 57 characters.
inline const std::string kEthLabels[8] = {
    "Internal Ethernet loopback  10BASE Full Dup test ........",
    "Internal Ethernet loopback  10BASE Half Dup test ........",
    "External Ethernet loopback  10BASE Full Dup test ........",
    "External Ethernet loopback  10BASE Half Dup test ........",
    "Internal Ethernet loopback 100BASE Full Dup test ........",
    "Internal Ethernet loopback 100BASE Half Dup test ........",
    "External Ethernet loopback 100BASE Full Dup test ........",
    "External Ethernet loopback 100BASE Half Dup test ........",
};
inline const std::string kEthHints = "** Make sure the KMB card is properly seated in the **\n"
                                     "** fixture, and you have a loopback cable in the    **\n"
                                     "** connector.  Or you may have a bad CPU, Phy       **\n";
inline constexpr int kEthCycles = 5; // a run's transfer cycles, one spinner step each
// One Ethernet run that passed, after `done` spinner steps.
inline std::string eth_run_passed(int run, int done) { return spinner(done, kEthCycles) + kEthLabels[run] + "PASSED\n"; }
// All eight runs passed, after `done` spinner steps.
inline std::string eth_loopback_passed(int done)
{
    std::string text;
    for (int run = 0; run < 8; ++run) {
        text += eth_run_passed(run, done + run * kEthCycles);
    }
    return text;
}

// A passed memory test: two spinner steps in the address test, one in the data bus test, six in
// the fill test and one in the pattern test.
inline constexpr int kMemorySpinnerSteps = 10;
inline const std::string kMemoryLabel = "Memory test ............................";
inline const std::string kMemoryHint = "** Check Memory chip  **\n";
inline std::string memory_passed(int done) { return spinner(done, kMemorySpinnerSteps) + kMemoryLabel + "PASSED\n"; }
inline const std::string kMemoryFailed = kMemoryLabel + "FAILED\n" + kMemoryHint;

// What each test of one comprehensive pass prints, in the pass's order, after `done` spinner
// steps: its healthy text unless a test case gives another.
struct PassLines {
    std::optional<std::string> serial = std::nullopt;
    std::optional<std::string> counter_agent = std::nullopt;
    std::optional<std::string> temperature = std::nullopt;
    std::optional<std::string> agent_i2c = std::nullopt;
    std::optional<std::string> memory = std::nullopt;
    std::optional<std::string> ethernet = std::nullopt;
    std::optional<std::string> agent_irq = std::nullopt;
    std::optional<std::string> agent_iirq = std::nullopt;
    int temperature_steps = kTemperatureSteps; // the spinner steps of the temperature's text
};

inline std::string pass_tests(int done, const PassLines& p = {})
{
    const int after_temperature = done + kSerialPasses + p.temperature_steps;
    return p.serial.value_or(serial_passed(done)) + p.counter_agent.value_or(kCounterAgentPassed) +
           p.temperature.value_or(temperature_passed(done + kSerialPasses)) + p.agent_i2c.value_or(kAgentI2cPassed) +
           p.memory.value_or(memory_passed(after_temperature)) +
           p.ethernet.value_or(eth_loopback_passed(after_temperature + kMemorySpinnerSteps)) +
           p.agent_irq.value_or(kAgentIrqPassed) + p.agent_iirq.value_or(kAgentIirqPassed);
}

// What the tests of one comprehensive pass print on a healthy card before the verdict line,
// after `done` spinner steps; each such pass steps the spinner kHealthySpinnerSteps times.
inline constexpr int kHealthySpinnerSteps = kSerialPasses + kTemperatureSteps + kMemorySpinnerSteps + 8 * kEthCycles;
inline std::string healthy_tests(int done) { return pass_tests(done); }
// An ESS pass reads the temperature instead of testing it, with no spinner.
inline constexpr int kEssSpinnerSteps = kHealthySpinnerSteps - kTemperatureSteps;
inline std::string ess_tests(int done, int celsius = 25)
{
    return pass_tests(done, {.temperature = current_temperature(celsius), .temperature_steps = 0});
}

inline const std::string kComprehensiveStart = "\nPerforming comprehensive test on KMB card\n";
inline const std::string kComprehensivePassed = "Comprehensive KMB test..................PASSED\n";
inline const std::string kComprehensiveFailed = "Comprehensive KMB test..................FAILED\n";

// `passes` healthy comprehensive passes, the first after `done` spinner steps.
inline std::string healthy_passes(int passes, int done = 0)
{
    std::string out;
    for (int i = 0; i < passes; ++i) {
        out += kComprehensiveStart + healthy_tests(done + i * kHealthySpinnerSteps) + kComprehensivePassed;
    }
    return out;
}

inline const std::string kFvtRefused = "This option is available only at the Factory.\n";
inline const std::string kEssRefused = "This option is available only to Manufacturing.\n";
inline const std::string kEssCountPrompt = "Enter the loop count - ";

// The date line; the clock's hh:mm:ss is matched by the transcript compare (see @TIME@).
inline const std::string kDateLine = "Current date = Sun Dec  6 @TIME@ 2026\n";

inline const std::string kFailedBanner =
    "  FFFFFFF       A        II    LL         EEEEEEE    DDDDDD\n"
    "  FF           A A       II    LL         EE         DD   DD\n"
    "  FFFF        A   A      II    LL         EEEE       DD    DD\n"
    "  FF         AAAAAAA     II    LL         EE         DD    DD\n"
    "  FF        AA     AA    II    LL         EE         DD   DD\n"
    "  FF        AA     AA    II    LLLLLLL    EEEEEEE    DDDDDD\n";

inline std::string option_summary(bool loop, bool stop, bool factory, bool manufacturing)
{
    auto flag = [](bool on) { return std::string(on ? "[Enabled] " : "[Disabled] "); };
    return "Diagnostic looping " + flag(loop) + "Stop on error " + flag(stop) + "Factory mode " + flag(factory) +
           "Manufacturing mode " + flag(manufacturing);
}

} // namespace kmb::test
