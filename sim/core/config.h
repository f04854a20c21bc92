// How a simulated card is set up for one run: what kmbdiag-sim's command line says.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/core/faults.h"

namespace kmb::sim {

// The release of the diagnostic and its simulator.
inline constexpr const char* kDiagnosticRelease = "1.0.0";

// A fault switched on for a window of card time only.
struct TimedFault {
    Fault fault;
    FaultWindow window;
};

// The LM77's die temperature over card time: points in order of time, linear between them,
// held after the last.
struct TemperaturePoint {
    int64_t us;           // card time since the start
    int millidegrees;     // degrees Celsius, in thousandths
};

struct SimConfig {
    std::string state_dir;                 // the card's persistent state; created when missing
    double speed = 1.0;                    // card seconds per wall second; 0: no wall time passes
    time_t start_time = 0;                 // the card clock at start (epoch seconds)
    std::vector<Fault> faults;             // switched on for this run
    std::vector<TimedFault> timed_faults;  // switched on for a window of the run
    std::vector<TemperaturePoint> temperature_profile; // empty: the die stays at temperature_half_degrees
    std::vector<std::pair<std::string, std::string>> env; // boot loader variables to set
    std::vector<double> sigint_at;         // card seconds after start at which SIGINT arrives
    std::string syslog_path;               // empty: the state folder's syslog file
    std::string eth_ip = "192.0.2.20";     // eth0's IPv4 address
    bool valdor_agent = false;             // the host is a Valdor platform (default: Tamber)
    bool join_running = false;             // a further process on a card that is already up
    int temperature_half_degrees = 25 * 2; // the LM77's die, in half degrees Celsius
    int console_baud = 115200;             // the console line's speed, ten bits a byte
    unsigned ram_mib = 64;                 // the card's main memory
    std::optional<uint8_t> cpld_reason;    // the CPLD's reset reason from this start on
    // What the run writes for the engineer; empty: nothing. "-" sends the trace to standard error.
    std::string trace_path;                // every request to the card, stamped with card time
    std::string vcd_path;                  // the card's and the fixture's lines as a waveform
    std::string report_path;               // the run as JSON when it ends
    std::string console_log_path;          // what the operator's terminal showed
};

} // namespace kmb::sim
