#include "sim/app/options.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "sim/app/nearest_names.h"
#include "sim/app/option_value.h"
#include "sim/app/run_options.h"
#include "sim/userland/boot_env.h"

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
constexpr long long kMaxRamMib = 1024;
// The sensor's rated range, degrees Celsius.
constexpr double kMinTemperature = -55;
constexpr double kMaxTemperature = 125;
// eth0's netmask on the card: a /24 network.
constexpr uint32_t kEthNetmask = 0xFFFFFF00;

void ask(const OptionUse& u, Request request)
{
    if (u.asked.request == Request::Run) {
        u.asked.request = request;
    }
}

int apply_help(const OptionUse& u)
{
    ask(u, Request::Help);
    return kGoOn;
}

int apply_version(const OptionUse& u)
{
    ask(u, Request::Version);
    return kGoOn;
}

int apply_list_faults(const OptionUse& u)
{
    ask(u, Request::ListFaults);
    return kGoOn;
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

// Why eth0 cannot have `address` (host byte order), or nullptr: the addresses no interface of
// the card's network can hold.
const char* eth_address_refusal(uint32_t address)
{
    const uint32_t first = address >> 24;
    if (first == 0) {
        return "0.0.0.0/8 means this network, no interface's address";
    }
    if (first == 127) {
        return "127.0.0.0/8 is the loopback interface's";
    }
    if (first >= 224 && first < 240) {
        return "a multicast address belongs to a group, not an interface";
    }
    if (first >= 240) {
        return "240.0.0.0/4 is reserved, 255.255.255.255 the broadcast";
    }
    if ((address & ~kEthNetmask) == 0) {
        return "with eth0's netmask 255.255.255.0 that is its network's own address";
    }
    if ((address & ~kEthNetmask) == ~kEthNetmask) {
        return "with eth0's netmask 255.255.255.0 that is its network's broadcast address";
    }
    return nullptr;
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
    if (const char* why = eth_address_refusal(ntohl(a.s_addr))) {
        std::fprintf(u.err, "%s: invalid address '%s' for %s: %s\n", kProgram, u.value.c_str(), u.option.c_str(), why);
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
    const std::optional<double> v = decimal_in_range(u.value, 0, kMaxSpeed);
    if (!v || (*v > 0 && *v < kMinSpeed)) {
        return refuse_value(u.err, u.option, u.value, "0, or a speed from 0.001 to 1000000");
    }
    u.config.speed = *v;
    return kGoOn;
}

int apply_sigint_at(const OptionUse& u)
{
    const std::optional<double> v = decimal_in_range(u.value, 0, kMaxSigintAt);
    if (!v) {
        return refuse_value(u.err, u.option, u.value, "card seconds from 0 to 1000000000");
    }
    u.config.sigint_at.push_back(*v);
    return kGoOn;
}

int apply_cpld(const OptionUse& u)
{
    // A register's byte as the card's documents write it, 0x and two hexadecimal digits, or
    // in decimal like every other number.
    const std::string& value = u.value;
    std::optional<long long> v;
    const bool hex = value.size() > 2 && value.size() <= 4 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X') &&
                     value.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
    if (hex) {
        v = std::stoll(value.substr(2), nullptr, 16);
    } else {
        v = whole_in_range(value, 0, 255);
    }
    if (!v) {
        std::fprintf(u.err, "%s: invalid reset reason '%s': expected a byte, 0x00 to 0xFF\n", kProgram, value.c_str());
        return kBadArgument;
    }
    u.config.cpld_reason = static_cast<uint8_t>(*v);
    return kGoOn;
}

int apply_ram(const OptionUse& u)
{
    const std::optional<long long> v = whole_in_range(u.value, 1, kMaxRamMib);
    if (!v) {
        std::fprintf(u.err, "%s: invalid memory size '%s': expected whole MiB from 1 to %lld\n", kProgram,
                     u.value.c_str(), kMaxRamMib);
        return kBadArgument;
    }
    u.config.ram_mib = static_cast<unsigned>(*v);
    return kGoOn;
}

int apply_console_baud(const OptionUse& u)
{
    const std::optional<long long> v = whole_in_range(u.value, 300, 4'000'000);
    if (!v) {
        return refuse_value(u.err, u.option, u.value, "bits per second from 300 to 4000000");
    }
    u.config.console_baud = static_cast<int>(*v);
    return kGoOn;
}

int apply_temp(const OptionUse& u)
{
    // The sensor resolves half degrees over its rated range.
    const std::optional<double> v = decimal_in_range(u.value, kMinTemperature, kMaxTemperature);
    if (!v || *v * 2 != std::floor(*v * 2)) {
        return refuse_value(u.err, u.option, u.value, "degrees from -55 to 125 in half degrees");
    }
    u.config.temperature_half_degrees = static_cast<int>(*v * 2);
    return kGoOn;
}

int apply_start_time(const OptionUse& u)
{
    const std::optional<long long> v = whole_in_range(u.value, 0, kMaxStartTime);
    if (!v) {
        return refuse_value(u.err, u.option, u.value, "whole seconds since 1970, from 0 to 2147483647");
    }
    u.config.start_time = static_cast<time_t>(*v);
    u.asked.start_time = true;
    return kGoOn;
}

std::vector<std::string> fault_names()
{
    std::vector<std::string> names;
    for (const FaultInfo& f : fault_catalogue()) {
        names.emplace_back(f.name);
    }
    return names;
}

int apply_fault(const OptionUse& u)
{
    const std::optional<FaultRequest> request = split_fault_request(u.option, u.value, u.err);
    if (!request) {
        return kBadArgument;
    }
    const std::string& name = request->name;
    const std::optional<Fault> f = fault_by_name(name);
    if (!f) {
        const std::vector<std::string> names = fault_names();
        const std::vector<std::string> near = nearest_names(name, names);
        if (near.empty()) {
            std::fprintf(u.err, "%s: unknown fault '%s' (%s --list-faults lists them)\n", kProgram, name.c_str(),
                         kProgram);
        } else {
            std::fprintf(u.err, "%s: unknown fault '%s' (did you mean %s?)\n", kProgram, name.c_str(),
                         quoted_choice(near).c_str());
        }
        return kBadArgument;
    }
    if (request->window) {
        u.config.timed_faults.push_back({*f, *request->window});
        return kGoOn;
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
    const std::string name = u.value.substr(0, eq);
    const std::string value = u.value.substr(eq + 1);
    // Refused here, before the card is stood up, rather than replaced by something else.
    if (const char* why = BootEnv::value_refusal(name, value)) {
        std::fprintf(u.err, "%s: invalid %s '%s': the variable %s\n", kProgram, u.option.c_str(), u.value.c_str(), why);
        return kBadArgument;
    }
    u.config.env.emplace_back(name, value);
    return kGoOn;
}

constexpr OptionInfo kOptions[] = {
    {apply_state, "state", '\0', "DIR",
     "folder that holds the card between runs\n"
     "(default: $XDG_STATE_HOME/kmbdiag-sim/card,\n else ~/.local/state/kmbdiag-sim/card)"},
    {apply_speed, "speed", '\0', "X",
     "card seconds per wall second, 0 lets no wall time pass\n(0.001 to 1000000; default: 1)"},
    {apply_start_time, "start-time", '\0', "EPOCH",
     "the card clock at start, in seconds since 1970\n(up to 2147483647; default: now)"},
    {apply_fault, "fault", '\0', "NAME",
     "switch on a fault of the card or fixture (repeatable);\nNAME@S from S card seconds on, NAME@S-T for [S, T)"},
    {apply_list_faults, "list-faults", '\0', nullptr, "print the catalogue of faults, by the test\nthat sees each, and exit"},
    {apply_env, "env", '\0', "NAME=VALUE", "set a boot loader variable before the start\n(repeatable)"},
    {apply_sigint_at, "sigint-at", '\0', "SECONDS", "deliver Ctrl-C this many card seconds after the start\n(repeatable)"},
    {apply_syslog, "syslog", '\0', "FILE", "file that receives the card's syslog\n(default: syslog in the state folder)"},
    {apply_temp, "temp", '\0', "C", "the temperature the card's sensor reads, -55 to 125\nin half degrees (default: 25)"},
    {apply_temp_profile, "temp-profile", '\0', "FILE",
     "the sensor's temperature over card time: lines of\nSECONDS DEGREES, linear between, held after the last\n(instead of --temp)"},
    {apply_trace, "trace", '\0', "FILE", "write every request to the card, stamped with\ncard time, to FILE ('-': standard error)"},
    {apply_vcd, "vcd", '\0', "FILE", "write the card's and the fixture's lines and the\nI2C bus as a Value Change Dump"},
    {apply_report, "report", '\0', "FILE", "write the run as JSON when it ends: verdicts, lamps,\nfaults and when they fired"},
    {apply_console_log, "console-log", '\0', "FILE", "keep what the operator's terminal showed"},
    {apply_eth_ip, "eth-ip", '\0', "A.B.C.D", "eth0's IPv4 address\n(default: 192.0.2.20)"},
    {apply_console_baud, "console-baud", '\0', "BITS", "the console line's speed in bit/s, 300 to 4000000\n(default: 115200)"},
    {apply_agent, "agent", '\0', "PLATFORM", "the host board's platform: tamber or valdor\n(default: tamber)"},
    {apply_ram, "ram", '\0', "MIB", "the card's main memory in MiB, 1 to 1024\n(default: 64)"},
    {apply_cpld, "cpld", '\0', "0xNN", "the CPLD's reset-reason byte from this start on\n(kept in the state folder; a new card: 0x00)"},
    {apply_help, "help", 'h', nullptr, "print this help and exit"},
    {apply_version, "version", 'V', nullptr, "print the simulator's version and exit"},
};

} // namespace

std::span<const OptionInfo> sim_options() { return kOptions; }

} // namespace kmb::sim
