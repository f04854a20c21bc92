#include "sim/app/command_line.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "sim/app/option_value.h"

namespace kmb::sim {

namespace {

constexpr const char* kProgram = "kmbdiag-sim";

// A scripted Ctrl-C further out than this is a typing error, and would overflow the card
// clock's microseconds.
constexpr double kMaxSigintAt = 1e9;
// A card second takes at most 1,000 wall seconds and at least a microsecond: slower is no
// run anyone waits for, and faster overflows the card clock at a console wait of minutes.
constexpr double kMinSpeed = 1e-3;
constexpr double kMaxSpeed = 1e6;
// The card's clock is a 32-bit count of seconds since 1970.
constexpr long long kMaxStartTime = 2147483647;

// The largest card memory the simulator takes; the memory test's blocks are real memory.
constexpr unsigned long kMaxRamMib = 1024;

// The sensor's rated range, degrees Celsius.
constexpr int kMinTemperature = -55;
constexpr int kMaxTemperature = 125;

// What an option is given, for the function that applies it.
struct OptionUse {
    std::string option; // its name with the leading "--"
    const std::string& value;
    SimConfig& config;
    FILE* out;
    FILE* err;
};

// Applies one option with its value: kGoOn, or the exit status to end with at once (after
// printing what was asked for, or after explaining a bad value).
using ApplyOption = int (*)(const OptionUse& u);

constexpr int kGoOn = -1;
constexpr int kDone = 0;
constexpr int kBadArgument = 2;

void list_faults(FILE* out)
{
    std::size_t width = 0;
    for (const FaultInfo& f : fault_catalogue()) {
        width = std::max(width, std::string_view(f.name).size());
    }
    for (const FaultInfo& f : fault_catalogue()) {
        std::fprintf(out, "%-*s  %s\n", static_cast<int>(width), f.name, f.meaning);
    }
}

// A whole number from `low` to `high`, in decimal, nothing around it.
bool parse_whole(const std::string& text, unsigned long low, unsigned long high, unsigned long& value)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const unsigned long v = std::stoul(text);
    if (v < low || v > high) {
        return false;
    }
    value = v;
    return true;
}

void print_help(FILE* out);

int apply_help(const OptionUse& u)
{
    print_help(u.out);
    return kDone;
}

int apply_version(const OptionUse& u)
{
    std::fprintf(u.out, "%s %s\n", kProgram, kDiagnosticRelease);
    return kDone;
}

int apply_list_faults(const OptionUse& u)
{
    list_faults(u.out);
    return kDone;
}

int apply_state(const OptionUse& u)
{
    if (u.value.empty()) {
        std::fprintf(u.err, "%s: %s needs a folder name, not an empty one\n", kProgram, u.option.c_str());
        return kBadArgument;
    }
    u.config.state_dir = u.value;
    return kGoOn;
}

int apply_syslog(const OptionUse& u)
{
    if (u.value.empty()) {
        std::fprintf(u.err, "%s: %s needs a file name, not an empty one\n", kProgram, u.option.c_str());
        return kBadArgument;
    }
    u.config.syslog_path = u.value;
    return kGoOn;
}

int apply_eth_ip(const OptionUse& u)
{
    // Dotted decimal with its four parts, as the card's network configuration writes it.
    in_addr a{};
    if (u.value.size() > 15 || inet_pton(AF_INET, u.value.c_str(), &a) != 1) {
        std::fprintf(u.err, "%s: invalid address '%s' for %s: expected A.B.C.D\n", kProgram, u.value.c_str(),
                     u.option.c_str());
        return kBadArgument;
    }
    u.config.eth_ip = u.value;
    return kGoOn;
}

int apply_agent(const OptionUse& u)
{
    if (u.value != "tamber" && u.value != "valdor") {
        std::fprintf(u.err, "%s: unknown platform '%s' for %s: expected tamber or valdor\n", kProgram,
                     u.value.c_str(), u.option.c_str());
        return kBadArgument;
    }
    u.config.valdor_agent = u.value == "valdor";
    return kGoOn;
}

int apply_speed(const OptionUse& u)
{
    const std::optional<double> v = real_in_range(u.value, 0, kMaxSpeed);
    if (!v || (*v > 0 && *v < kMinSpeed)) {
        return refuse_value(u.err, u.option, u.value, "0, or a speed from 0.001 to 1000000");
    }
    u.config.speed = *v;
    return kGoOn;
}

int apply_sigint_at(const OptionUse& u)
{
    const std::optional<double> v = real_in_range(u.value, 0, kMaxSigintAt);
    if (!v) {
        return refuse_value(u.err, u.option, u.value, "card seconds from 0 to 1000000000");
    }
    u.config.sigint_at.push_back(*v);
    return kGoOn;
}

int apply_cpld(const OptionUse& u)
{
    // A byte as the card's documents write it: 0x and two hexadecimal digits, or decimal.
    const std::string& value = u.value;
    unsigned long v = 0;
    const bool hex = value.size() > 2 && value.size() <= 4 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X') &&
                     value.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
    if (hex) {
        v = std::stoul(value.substr(2), nullptr, 16);
    } else if (!parse_whole(value, 0, 255, v)) {
        std::fprintf(u.err, "%s: invalid reset reason '%s': expected a byte, 0x00 to 0xFF\n", kProgram, value.c_str());
        return kBadArgument;
    }
    u.config.cpld_reason = static_cast<uint8_t>(v);
    return kGoOn;
}

int apply_ram(const OptionUse& u)
{
    unsigned long v = 0;
    if (!parse_whole(u.value, 1, kMaxRamMib, v)) {
        std::fprintf(u.err, "%s: invalid memory size '%s': expected whole MiB from 1 to %lu\n", kProgram,
                     u.value.c_str(), kMaxRamMib);
        return kBadArgument;
    }
    u.config.ram_mib = static_cast<unsigned>(v);
    return kGoOn;
}

int apply_console_baud(const OptionUse& u)
{
    const std::optional<long long> v = integer_in_range(u.value, 300, 4'000'000);
    if (!v) {
        return refuse_value(u.err, u.option, u.value, "bits per second from 300 to 4000000");
    }
    u.config.console_baud = static_cast<int>(*v);
    return kGoOn;
}

int apply_temp(const OptionUse& u)
{
    // The sensor resolves half degrees over its rated range.
    const std::optional<double> v = real_in_range(u.value, kMinTemperature, kMaxTemperature);
    if (!v || *v * 2 != std::floor(*v * 2)) {
        return refuse_value(u.err, u.option, u.value, "degrees from -55 to 125 in half degrees");
    }
    u.config.temperature_half_degrees = static_cast<int>(*v * 2);
    return kGoOn;
}

int apply_start_time(const OptionUse& u)
{
    const std::optional<long long> v = integer_in_range(u.value, 0, kMaxStartTime);
    if (!v || u.value.find_first_of("xX") != std::string::npos) {
        return refuse_value(u.err, u.option, u.value, "whole seconds since 1970, from 0 to 2147483647");
    }
    u.config.start_time = static_cast<time_t>(*v);
    return kGoOn;
}

int apply_fault(const OptionUse& u)
{
    const std::optional<Fault> f = fault_by_name(u.value);
    if (!f) {
        std::fprintf(u.err, "%s: unknown fault '%s' (did you mean '%s'?)\n", kProgram, u.value.c_str(),
                     nearest_fault_name(u.value).c_str());
        return kBadArgument;
    }
    std::vector<Fault>& faults = u.config.faults;
    if (std::find(faults.begin(), faults.end(), *f) == faults.end()) {
        faults.push_back(*f);
    }
    return kGoOn;
}

int apply_env(const OptionUse& u)
{
    const std::size_t eq = u.value.find('=');
    if (eq == std::string::npos || eq == 0 || u.value.find('\n') != std::string::npos) {
        std::fprintf(u.err, "%s: invalid %s '%s': expected NAME=VALUE, a non-empty name and no line end\n", kProgram,
                     u.option.c_str(), u.value.c_str());
        return kBadArgument;
    }
    u.config.env.emplace_back(u.value.substr(0, eq), u.value.substr(eq + 1));
    return kGoOn;
}

struct OptionInfo {
    ApplyOption apply;
    const char* name;   // without the leading "--"
    const char* value;  // the value's placeholder, or nullptr for a switch
    const char* help;
};

// A line end in a help text continues it on the next line, under the first.
constexpr OptionInfo kOptions[] = {
    {apply_state, "state", "DIR",
     "folder that holds the card between runs\n"
     "(default: $XDG_STATE_HOME/kmbdiag-sim/card,\n else ~/.local/state/kmbdiag-sim/card)"},
    {apply_speed, "speed", "X", "card seconds per wall second, 0 lets no wall time pass\n(0.001 to 1000000; default: 1)"},
    {apply_start_time, "start-time", "EPOCH", "the card clock at start, in seconds since 1970\n(up to 2147483647; default: now)"},
    {apply_fault, "fault", "NAME", "switch on a fault of the card or fixture (repeatable)"},
    {apply_list_faults, "list-faults", nullptr, "print the catalogue of faults and exit"},
    {apply_env, "env", "NAME=VALUE", "set a boot loader variable before the start\n(repeatable)"},
    {apply_sigint_at, "sigint-at", "SECONDS", "deliver Ctrl-C this many card seconds after the start\n(repeatable)"},
    {apply_syslog, "syslog", "FILE", "file that receives the card's syslog\n(default: syslog in the state folder)"},
    {apply_temp, "temp", "C", "the temperature the card's sensor reads, -55 to 125\nin half degrees (default: 25)"},
    {apply_eth_ip, "eth-ip", "A.B.C.D", "eth0's IPv4 address\n(default: 192.0.2.20)"},
    {apply_console_baud, "console-baud", "BITS", "the console line's speed in bit/s, 300 to 4000000\n(default: 115200)"},
    {apply_agent, "agent", "PLATFORM", "the host board's platform: tamber or valdor\n(default: tamber)"},
    {apply_ram, "ram", "MIB", "the card's main memory in MiB, 1 to 1024\n(default: 64)"},
    {apply_cpld, "cpld", "0xNN", "the CPLD's reset-reason byte from this start on\n(kept in the state folder; a new card: 0x00)"},
    {apply_help, "help", nullptr, "print this help and exit"},
    {apply_version, "version", nullptr, "print the simulator's version and exit"},
};

void hint(FILE* err) { std::fprintf(err, "Try '%s --help' for more information.\n", kProgram); }

void print_help(FILE* out)
{
    std::fprintf(out,
                 "Usage: %s [OPTION]...\n"
                 "Runs the KMB card diagnostic on a simulated card in its test fixture.\n\n",
                 kProgram);
    for (const OptionInfo& o : kOptions) {
        std::string left = std::string("--") + o.name;
        if (o.value != nullptr) {
            left += std::string(" ") + o.value;
        }
        std::string_view help = o.help;
        for (bool first = true; first || !help.empty(); first = false) {
            const std::size_t nl = std::min(help.find('\n'), help.size());
            const std::string line(help.substr(0, nl));
            std::fprintf(out, "  %-20s  %s\n", first ? left.c_str() : "", line.c_str());
            help.remove_prefix(std::min(nl + 1, help.size()));
        }
    }
}

const OptionInfo* find_option(std::string_view name)
{
    for (const OptionInfo& o : kOptions) {
        if (name == o.name) {
            return &o;
        }
    }
    return nullptr;
}

std::string default_state_dir()
{
    // A relative XDG_STATE_HOME is to be ignored, as the base-directory convention says.
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/kmbdiag-sim/card";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.local/state/kmbdiag-sim/card";
    }
    return {};
}

} // namespace

int parse_command_line(int argc, const char* const* argv, SimConfig& config, FILE* out, FILE* err)
{
    bool start_time_given = false;
    bool options_end = false;
    for (int i = 1; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
        const std::string arg = argv[i];
        if (options_end || arg.size() < 2 || arg[0] != '-') {
            std::fprintf(err, "%s: unexpected argument '%s'\n", kProgram, arg.c_str());
            hint(err);
            return 2;
        }
        if (arg[1] != '-') {
            std::fprintf(err, "%s: unrecognized option '%s'\n", kProgram, arg.c_str());
            hint(err);
            return 2;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const OptionInfo* o = find_option(name);
        if (o == nullptr) {
            std::fprintf(err, "%s: unrecognized option '--%s'\n", kProgram, name.c_str());
            hint(err);
            return 2;
        }
        std::string value;
        if (o->value == nullptr) {
            if (eq != std::string::npos) {
                std::fprintf(err, "%s: option '--%s' doesn't allow a value\n", kProgram, o->name);
                hint(err);
                return 2;
            }
        } else if (eq != std::string::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < argc && argv[i + 1] != nullptr) {
            value = argv[++i];
        } else {
            std::fprintf(err, "%s: option '--%s' requires a value (%s)\n", kProgram, o->name, o->value);
            hint(err);
            return 2;
        }
        start_time_given = start_time_given || o->apply == apply_start_time;
        const int status = o->apply({std::string("--") + o->name, value, config, out, err});
        if (status >= 0) {
            return status;
        }
    }
    if (config.state_dir.empty()) {
        config.state_dir = default_state_dir();
        if (config.state_dir.empty()) {
            std::fprintf(err, "%s: no folder for the card's state: neither XDG_STATE_HOME nor HOME is set; give --state DIR\n",
                         kProgram);
            return 2;
        }
    }
    if (!start_time_given) {
        config.start_time = std::time(nullptr);
    }
    return -1;
}

} // namespace kmb::sim
