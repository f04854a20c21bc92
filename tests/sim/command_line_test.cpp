// kmbdiag-sim's command line: each option in both spellings, the garbage an operator can type,
// and the help and fault catalogue it prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/app/command_line.h"
#include "sim/core/config.h"
#include "sim/core/faults.h"

namespace kmb::sim {
namespace {

struct Parsed {
    int status;
    std::string out;
    std::string err;
    SimConfig config;
};

Parsed parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "kmbdiag-sim");
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);
    char* out_buf = nullptr;
    char* err_buf = nullptr;
    std::size_t out_size = 0;
    std::size_t err_size = 0;
    FILE* out = open_memstream(&out_buf, &out_size);
    FILE* err = open_memstream(&err_buf, &err_size);
    Parsed p;
    p.status = parse_command_line(static_cast<int>(args.size()), argv.data(), p.config, out, err);
    std::fclose(out);
    std::fclose(err);
    p.out.assign(out_buf, out_size);
    p.err.assign(err_buf, err_size);
    std::free(out_buf);
    std::free(err_buf);
    return p;
}

// Sets or unsets an environment variable for one test and puts it back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        set(name, value);
    }
    ~ScopedEnv() { set(name_, old_ ? old_->c_str() : nullptr); }

private:
    static void set(const char* name, const char* value)
    {
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }

    const char* name_;
    std::optional<std::string> old_;
};

TEST(CommandLine, EveryOptionInBothSpellings)
{
    const std::vector<std::string> spelled[] = {
        {"--state", "/s=t", "--speed", "0", "--start-time", "0", "--fault", "iox-absent", "--fault", "no-fixture",
         "--fault", "iox-absent", "--env", "rev#=03", "--env", "part#=a=b", "--env", "empty=", "--sigint-at", "1.5",
         "--sigint-at", "0", "--syslog", "/x", "--ram", "128", "--"},
        {"--state=/s=t", "--speed=0", "--start-time=0", "--fault=iox-absent", "--fault=no-fixture",
         "--fault=iox-absent", "--env=rev#=03", "--env=part#=a=b", "--env=empty=", "--sigint-at=1.5",
         "--sigint-at=0", "--syslog=/x", "--ram=128"},
    };
    for (const std::vector<std::string>& args : spelled) {
        const Parsed p = parse(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(p.status, -1);
        EXPECT_EQ(p.out + p.err, "");
        EXPECT_EQ(p.config.state_dir, "/s=t");
        EXPECT_EQ(p.config.speed, 0.0);
        EXPECT_EQ(p.config.start_time, 0);
        EXPECT_EQ(p.config.faults, (std::vector<Fault>{Fault::IoxAbsent, Fault::NoFixture}));
        EXPECT_EQ(p.config.env, (std::vector<std::pair<std::string, std::string>>{
                                    {"rev#", "03"}, {"part#", "a=b"}, {"empty", ""}}));
        EXPECT_EQ(p.config.sigint_at, (std::vector<double>{1.5, 0.0}));
        EXPECT_EQ(p.config.syslog_path, "/x");
        EXPECT_EQ(p.config.ram_mib, 128u);
    }
    const ScopedEnv home("HOME", "/home/op");
    const Parsed p = parse({"--speed", "2.5", "--start-time", "1700000000"});
    EXPECT_EQ(p.config.speed, 2.5);
    EXPECT_EQ(p.config.start_time, 1700000000);
    // The bounds themselves are taken.
    const Parsed edges = parse({"--speed", "1000000", "--start-time", "2147483647", "--sigint-at", "1000000000",
                                "--console-baud", "4000000"});
    EXPECT_EQ(edges.status, -1) << edges.err;
    EXPECT_EQ(edges.config.speed, 1e6);
    EXPECT_EQ(edges.config.start_time, 2147483647);
    EXPECT_EQ(edges.config.console_baud, 4000000);
    EXPECT_EQ(parse({}).config.console_baud, 115200);
    EXPECT_EQ(parse({"--speed", "0.001"}).config.speed, 0.001);
    const SimConfig defaults = parse({}).config;
    EXPECT_EQ(defaults.speed, 1.0);
    EXPECT_TRUE(defaults.faults.empty() && defaults.env.empty() && defaults.sigint_at.empty());
    EXPECT_TRUE(defaults.syslog_path.empty());
    EXPECT_EQ(defaults.eth_ip, "192.0.2.20");
    EXPECT_EQ(parse({"--eth-ip", "192.0.2.250"}).config.eth_ip, "192.0.2.250");
    EXPECT_EQ(defaults.ram_mib, 64u);
    EXPECT_FALSE(defaults.cpld_reason.has_value()) << "a card keeps the reason its last reset left";
    EXPECT_EQ(parse({"--cpld", "0xA0"}).config.cpld_reason, uint8_t{0xA0});
    EXPECT_EQ(parse({"--cpld=0x3"}).config.cpld_reason, uint8_t{0x03});
    EXPECT_EQ(parse({"--cpld", "32"}).config.cpld_reason, uint8_t{32});
}

TEST(CommandLine, BadValuesAndMistypedLinesAreRefused)
{
    struct Bad {
        std::vector<std::string> args;
        std::string named; // what the message must quote
        bool points_to_help;
    };
    const Bad cases[] = {
        {{"--speed", "12abc"}, "'12abc'", false}, {{"--speed="}, "''", false},
        {{"--speed", "-1"}, "'-1'", false},       {{"--speed", "nan"}, "'nan'", false},
        {{"--speed", "1e999"}, "'1e999'", false}, {{"--speed", " 1"}, "' 1'", false},
        {{"--start-time", "1.5"}, "'1.5'", false}, {{"--start-time", ""}, "''", false},
        {{"--start-time", "-5"}, "'-5'", false},
        {{"--start-time", "99999999999999999999999"}, "'99999999999999999999999'", false},
        {{"--sigint-at", "-1"}, "'-1'", false},   {{"--sigint-at", "x"}, "'x'", false},
        {{"--sigint-at", "1e300"}, "'1e300'", false}, {{"--sigint-at", "1000000001"}, "'1000000001'", false},
        {{"--console-baud", "299"}, "'299'", false}, {{"--console-baud", "9600.5"}, "'9600.5'", false},
        {{"--speed", "5e12"}, "'5e12'", false},   {{"--speed", "1e-300"}, "'1e-300'", false},
        {{"--speed", "0.0009"}, "'0.0009'", false},
        {{"--speed", "inf"}, "'inf'", false},     {{"--speed", "+1"}, "'+1'", false},
        {{"--start-time", "9223372036854775807"}, "'9223372036854775807'", false},
        {{"--start-time", "2147483648"}, "'2147483648'", false}, {{"--start-time", "0x10"}, "'0x10'", false},
        {{"--env", "noequals"}, "'noequals'", false}, {{"--env", "=v"}, "'=v'", false},
        {{"--env", "a=b\nc"}, "'a=b\nc'", false},
        {{"--eth-ip", "192.0.2"}, "'192.0.2'", false}, {{"--eth-ip", "192.0.2.256"}, "'192.0.2.256'", false},
        {{"--eth-ip", " 192.0.2.20"}, "' 192.0.2.20'", false},
        {{"--state", ""}, "--state", false},      {{"--syslog="}, "--syslog", false},
        {{"--bogus"}, "'--bogus'", true},         {{"--bogus=1"}, "'--bogus'", true},
        {{"-s"}, "'-s'", true},                   {{"-"}, "'-'", true},
        {{"--state"}, "'--state'", true},         {{"--speed", "0", "--env"}, "'--env'", true},
        {{"--help=yes"}, "'--help'", true},       {{"card"}, "'card'", true},
        {{"--", "--speed"}, "'--speed'", true},
        {{"--ram", "0"}, "'0'", false},           {{"--ram", "1025"}, "'1025'", false},
        {{"--ram", "64M"}, "'64M'", false},       {{"--ram", "-64"}, "'-64'", false},
        {{"--ram", "99999999999"}, "'99999999999'", false},
        {{"--temp", "25.25"}, "'25.25'", false},   {{"--temp", "-56"}, "'-56'", false},
        {{"--temp", "125.5"}, "'125.5'", false},   {{"--temp", "warm"}, "'warm'", false},
        {{"--cpld", "0x100"}, "'0x100'", false},   {{"--cpld", "256"}, "'256'", false},
        {{"--cpld", "0xg0"}, "'0xg0'", false},     {{"--cpld", "0x"}, "'0x'", false},
        {{"--cpld", "-1"}, "'-1'", false},
    };
    for (const Bad& b : cases) {
        const Parsed p = parse(b.args);
        SCOPED_TRACE(::testing::PrintToString(b.args));
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.out, "");
        EXPECT_EQ(p.err.rfind("kmbdiag-sim: ", 0), 0u) << p.err;
        EXPECT_NE(p.err.find(b.named), std::string::npos) << p.err;
        if (b.points_to_help) {
            EXPECT_NE(p.err.find("Try 'kmbdiag-sim --help'"), std::string::npos) << p.err;
        }
    }
}

TEST(CommandLine, TemperatureInHalfDegreesOverTheSensorsRange)
{
    const std::pair<const char*, int> cases[] = {
        {"25", 50}, {"-0.5", -1}, {"-12.5", -25}, {"-55", -110}, {"125", 250}, {".5", 1}, {"30.", 60}, {"040", 80},
    };
    for (const auto& [text, half_degrees] : cases) {
        const Parsed p = parse({"--temp", text});
        EXPECT_EQ(p.status, -1) << text << p.err;
        EXPECT_EQ(p.config.temperature_half_degrees, half_degrees) << text;
    }
    EXPECT_EQ(parse({}).config.temperature_half_degrees, 50);
}

TEST(CommandLine, EveryNumberIsPlainDecimal)
{
    // Hexadecimal, exponents and '+' were read by some options and refused by others; now every
    // number is refused in those forms, with the option and the text named.
    const std::pair<const char*, const char*> cases[] = {
        {"--speed", "0x1p3"},        {"--speed", "0x8"},         {"--speed", "1e3"},
        {"--temp", "0x1p3"},         {"--temp", "0x10"},         {"--temp", "2.5e1"},
        {"--sigint-at", "0x1p3"},    {"--sigint-at", "1e9"},     {"--sigint-at", "0x10"},
        {"--start-time", "0x10"},    {"--start-time", "1e3"},    {"--start-time", "+5"},
        {"--ram", "0x40"},           {"--ram", "6.4e1"},         {"--ram", "64.0"},
        {"--console-baud", "0x2580"}, {"--console-baud", "9.6e3"}, {"--console-baud", "+9600"},
        {"--speed", "1..5"},         {"--speed", "."},           {"--temp", "--5"},
        {"--sigint-at", "1.5s"},     {"--speed", "1,5"},
    };
    for (const auto& [option, text] : cases) {
        const Parsed p = parse({option, text});
        SCOPED_TRACE(std::string(option) + " " + text);
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.out, "");
        EXPECT_NE(p.err.find(std::string("'") + text + "'"), std::string::npos) << p.err;
    }
    const Parsed p = parse({"--speed", "0.5", "--sigint-at", ".25", "--start-time", "0001700000000", "--ram", "0128",
                            "--console-baud", "009600"});
    EXPECT_EQ(p.status, -1) << p.err;
    EXPECT_EQ(p.config.speed, 0.5);
    EXPECT_EQ(p.config.sigint_at, std::vector<double>{0.25});
    EXPECT_EQ(p.config.start_time, 1700000000) << "leading zeros are decimal, not octal";
    EXPECT_EQ(p.config.ram_mib, 128u);
    EXPECT_EQ(p.config.console_baud, 9600);
}

TEST(CommandLine, Eth0TakesOnlyAnAddressAnInterfaceCanHave)
{
    const char* refused[] = {"0.0.0.0",     "0.1.2.3",       "127.0.0.1",     "224.0.0.1",     "239.255.255.250",
                             "240.0.0.1",   "255.255.255.255", "192.0.2.0",   "192.0.2.255",   "10.0.0.255"};
    for (const char* address : refused) {
        const Parsed p = parse({"--eth-ip", address});
        EXPECT_EQ(p.status, 2) << address;
        EXPECT_EQ(p.err.rfind(std::string("kmbdiag-sim: invalid address '") + address + "' for --eth-ip: ", 0), 0u)
            << p.err;
    }
    for (const char* address : {"192.0.2.1", "192.0.2.254", "10.1.2.3", "169.254.7.9", "223.255.254.1"}) {
        const Parsed p = parse({"--eth-ip", address});
        EXPECT_EQ(p.status, -1) << address << p.err;
        EXPECT_EQ(p.config.eth_ip, address);
    }
}

TEST(CommandLine, BootLoaderVariablesTheCardReadsMustBeUsable)
{
    // eth0 takes its MAC address from ethaddr: what the driver cannot take is refused, not
    // replaced by another address behind the engineer's back.
    const char* refused[] = {"garbage",           "",                  "02:00:4b:4d:42",    "02:00:4b:4d:42:01:07",
                             "02-00-4b-4d-42-01", "02:00:4b:4d:42:0g", "01:00:5e:00:00:01", "ff:ff:ff:ff:ff:ff",
                             "00:00:00:00:00:00", " 02:00:4b:4d:42:01"};
    for (const char* mac : refused) {
        const Parsed p = parse({"--env", std::string("ethaddr=") + mac});
        SCOPED_TRACE(mac);
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.err.rfind(std::string("kmbdiag-sim: invalid --env 'ethaddr=") + mac + "': ", 0), 0u) << p.err;
        EXPECT_NE(p.err.find("02:00:4b:4d:42:01"), std::string::npos) << "the message shows the form: " << p.err;
    }
    const Parsed p = parse({"--env", "ethaddr=02:00:4B:4d:42:0A", "--env", "rev#=", "--env", "part#=anything at all"});
    EXPECT_EQ(p.status, -1) << p.err;
    EXPECT_EQ(p.config.env.front().second, "02:00:4B:4d:42:0A");
}

TEST(CommandLine, AnyBadOptionIsAnErrorWhateverComesWithIt)
{
    const std::vector<std::string> lines[] = {
        {"--help", "--bogus"},        {"--bogus", "--help"},      {"-h", "--speed", "fast"},
        {"--version", "stray"},       {"--list-faults", "--fault", "nope"}, {"-V", "--env", "ethaddr=x"},
        {"-hx"},                      {"--help", "--"  , "more"},
    };
    for (const std::vector<std::string>& args : lines) {
        const Parsed p = parse(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.out, "") << "nothing is printed for the good options of a bad line";
        EXPECT_EQ(p.err.rfind("kmbdiag-sim: ", 0), 0u) << p.err;
    }
}

TEST(CommandLine, LongOptionsByAnyUniqueBeginningAndShortHelpAndVersion)
{
    const Parsed p = parse({"--spe=0", "--start", "5", "--fa", "no-fixture", "--sig=2", "--sys", "/log", "--eth=10.0.0.7",
                            "--console-b", "9600", "--ag", "valdor", "--ra", "8", "--cp", "0x80", "--temp", "30", "--en", "a=b",
                            "--st", "/s"});
    // "--st" names both --state and --start-time: refused as ambiguous.
    EXPECT_EQ(p.status, 2);
    EXPECT_EQ(p.err,
              "kmbdiag-sim: option '--st' is ambiguous; possibilities: '--state' '--start-time'\n"
              "Try 'kmbdiag-sim --help' for more information.\n");
    const Parsed q = parse({"--spe=0", "--start", "5", "--fa", "no-fixture", "--sig=2", "--sys", "/log",
                            "--eth=10.0.0.7", "--console-b", "9600", "--ag", "valdor", "--ra", "8", "--cp", "0x80", "--temp",
                            "30", "--en", "a=b", "--stat", "/s"});
    EXPECT_EQ(q.status, -1) << q.err;
    EXPECT_EQ(q.config.speed, 0.0);
    EXPECT_EQ(q.config.start_time, 5);
    EXPECT_EQ(q.config.faults, std::vector<Fault>{Fault::NoFixture});
    EXPECT_EQ(q.config.sigint_at, std::vector<double>{2});
    EXPECT_EQ(q.config.syslog_path, "/log");
    EXPECT_EQ(q.config.eth_ip, "10.0.0.7");
    EXPECT_EQ(q.config.console_baud, 9600);
    EXPECT_TRUE(q.config.valdor_agent);
    EXPECT_EQ(q.config.ram_mib, 8u);
    EXPECT_EQ(q.config.cpld_reason, uint8_t{0x80});
    EXPECT_EQ(q.config.temperature_half_degrees, 60);
    EXPECT_EQ(q.config.state_dir, "/s");

    const std::pair<std::vector<std::string>, std::string> asks[] = {
        {{"-h"}, "Usage: kmbdiag-sim"}, {{"--he"}, "Usage: kmbdiag-sim"},
        {{"-V"}, "kmbdiag-sim 1.0.0\n"}, {{"--vers"}, "kmbdiag-sim 1.0.0\n"},
        {{"--list"}, "  no-fixture "},   {{"-V", "-h"}, "kmbdiag-sim 1.0.0\n"},
        {{"--help", "--version"}, "Usage: kmbdiag-sim"}, {{"-hV"}, "Usage: kmbdiag-sim"},
    };
    for (const auto& [args, begins] : asks) {
        const Parsed a = parse(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.err, "");
        EXPECT_NE(a.out.find(begins), std::string::npos) << a.out;
    }
}

TEST(CommandLine, MistypedOptionsAreAnsweredWithTheNearestOptions)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--sped", "0"}, "kmbdiag-sim: unrecognized option '--sped' (did you mean '--speed'?)\n"},
        {{"--fualt=x"}, "kmbdiag-sim: unrecognized option '--fualt' (did you mean '--fault'?)\n"},
        {{"--faults"}, "kmbdiag-sim: unrecognized option '--faults' (did you mean '--list-faults'?)\n"},
        {{"--state-dir", "/s"}, "kmbdiag-sim: unrecognized option '--state-dir' (did you mean '--state'?)\n"},
        {{"--bogus"}, "kmbdiag-sim: unrecognized option '--bogus'\n"},
        {{"-speed", "0"}, "kmbdiag-sim: unrecognized option '-s' in '-speed' (did you mean '--speed'?)\n"},
        {{"-x"}, "kmbdiag-sim: unrecognized option '-x'\n"},
        {{"--help=yes"}, "kmbdiag-sim: option '--help' doesn't allow a value\n"},
        {{"--state"}, "kmbdiag-sim: option '--state' requires a value (DIR)\n"},
        {{"stray"}, "kmbdiag-sim: unexpected argument 'stray'\n"},
    };
    for (const auto& [args, message] : cases) {
        const Parsed p = parse(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.err, message + "Try 'kmbdiag-sim --help' for more information.\n");
    }
}

TEST(CommandLine, UnknownFaultSuggestsTheNamesNearestToWhatWasTyped)
{
    // Ranked by what the engineer typed: names it begins, then names sharing its words, then
    // a few keystrokes; "pin7" once suggested mem-tiny.
    const std::pair<const char*, const char*> cases[] = {
        {"pin7", "'counter-agent-pin7-stuck-low' or 'counter-agent-pin7-stuck-high'"},
        {"iox-absnt", "'iox-absent'"},
        {"no_fixture", "'no-fixture'"},
        {"NO-FIXTURE", "'no-fixture'"},
        {"agentdrv", "'agentdrv-absent' or 'agentdrv-status-error'"},
        {"counter-agent-pin7-stuck", "'counter-agent-pin7-stuck-low' or 'counter-agent-pin7-stuck-high'"},
        {"crit", "'lm77-crit-open' or 'lm77-crit-stuck'"},
        {"lm77-int", "'lm77-int-open' or 'lm77-int-stuck'"},
        {"serial", "'serial-ring', 'serial-absent' or 'serial-corrupt'"}, // the shortest completions first
        {"watchdog", "'watchdog-dead'"},
        {"stuck-pin7-high", "'counter-agent-pin7-stuck-high'"},
        {"eth-dma-corupt", "'eth-dma-corrupt'"},
    };
    for (const auto& [typed, names] : cases) {
        const std::string message =
            std::string("kmbdiag-sim: unknown fault '") + typed + "' (did you mean " + names + "?)\n";
        EXPECT_EQ(parse({"--fault", typed}).err, message);
        EXPECT_EQ(parse({std::string("--fault=") + typed}).status, 2);
    }
    for (const char* typed : {"zzzzzzzzzz", "", "x"}) {
        const Parsed p = parse({"--fault", typed});
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.err, std::string("kmbdiag-sim: unknown fault '") + typed +
                             "' (kmbdiag-sim --list-faults lists them)\n");
    }
}

TEST(CommandLine, ListFaultsGroupsTheCatalogueByTheTestThatSeesEachFault)
{
    const Parsed p = parse({"--list-faults"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "");
    ASSERT_FALSE(p.out.empty());
    ASSERT_EQ(p.out.back(), '\n');
    std::map<std::string, std::string> heading_of; // fault name -> the heading it stands under
    std::map<std::string, std::string> line_of;
    std::string heading;
    std::optional<std::size_t> column;
    std::size_t at = 0;
    while (at < p.out.size()) {
        const std::size_t nl = p.out.find('\n', at);
        const std::string line = p.out.substr(at, nl - at);
        at = nl + 1;
        if (line.empty()) {
            continue;
        }
        if (line.rfind("  ", 0) != 0) {
            EXPECT_EQ(line.rfind("Seen by ", 0), 0u) << line;
            EXPECT_EQ(line.back(), ':') << line;
            heading = line;
            continue;
        }
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        EXPECT_FALSE(heading.empty()) << "a fault before any heading: " << line;
        EXPECT_EQ(heading_of.count(name), 0u) << name << " listed twice";
        heading_of[name] = heading;
        line_of[name] = line;
    }
    for (const FaultInfo& f : fault_catalogue()) {
        ASSERT_EQ(heading_of.count(f.name), 1u) << f.name << " missing";
        const std::string& line = line_of[f.name];
        const std::size_t meaning = line.size() - std::string(f.meaning).size();
        EXPECT_EQ(line.substr(meaning), f.meaning) << line;
        EXPECT_EQ(meaning, column.value_or(meaning)) << "meanings not aligned: " << line;
        column = meaning;
    }
    EXPECT_EQ(heading_of.size(), fault_catalogue().size()) << "names that are no fault";
    // A few faults the coverage report names, under the test that sees them.
    EXPECT_EQ(heading_of["counter-agent-pin7-stuck-low"], "Seen by the counter agent i2c bus test (menu 3):");
    EXPECT_EQ(heading_of["no-fixture"], heading_of["cpld-unmapped"]);
    EXPECT_EQ(heading_of["serial-ring"], "Seen by the serial port test (menu 2):");
    EXPECT_EQ(heading_of["agent-absent"], heading_of["agent-fifo-stuck"]);
    EXPECT_NE(heading_of["agent-absent"].find("daemon"), std::string::npos);
    EXPECT_NE(heading_of["watchdog-dead"].find("menu 13"), std::string::npos);
}

TEST(CommandLine, HelpAndVersion)
{
    Parsed p = parse({"--help"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "");
    for (const char* option : {"--state", "--speed", "--start-time", "--fault", "--list-faults", "--env",
                               "--sigint-at", "--syslog", "--temp", "--eth-ip", "--console-baud", "--agent", "--ram",
                               "--cpld", "-h, --help", "-V, --version"}) {
        EXPECT_NE(p.out.find(std::string(option) + " "), std::string::npos) << option;
    }
    for (const char* status : {" 1  ", " 2  ", " 3  ", "SIGINT"}) {
        EXPECT_NE(p.out.find(status), std::string::npos) << "the exit statuses are told: " << status;
    }
    p = parse({"--version"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, "kmbdiag-sim 1.0.0\n");
    EXPECT_EQ(p.err, "");
}

TEST(CommandLine, ReadsSeveralCommandLinesInOneProcess)
{
    // getopt_long keeps its place between calls; the daemons and these tests read several.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(parse({"--speed", "0", "--bogus"}).status, 2);
        const Parsed p = parse({"--speed", "0", "--ram", "8"});
        EXPECT_EQ(p.status, -1) << p.err;
        EXPECT_EQ(p.config.ram_mib, 8u);
    }
}

TEST(CommandLine, DefaultStateFolderAndStartTime)
{
    struct Where {
        const char* xdg;
        const char* home;
        std::vector<std::string> args;
        int status;
        const char* state;
    };
    const Where cases[] = {
        {"/xdg", "/home/op", {}, -1, "/xdg/kmbdiag-sim/card"},
        {nullptr, "/home/op", {}, -1, "/home/op/.local/state/kmbdiag-sim/card"},
        {"", "/home/op", {}, -1, "/home/op/.local/state/kmbdiag-sim/card"},
        {"relative", "/home/op", {}, -1, "/home/op/.local/state/kmbdiag-sim/card"},
        {nullptr, nullptr, {"--state", "/given"}, -1, "/given"},
        {nullptr, nullptr, {}, 2, ""},
        {nullptr, "", {}, 2, ""},
    };
    for (const Where& w : cases) {
        const ScopedEnv xdg("XDG_STATE_HOME", w.xdg);
        const ScopedEnv home("HOME", w.home);
        const time_t before = std::time(nullptr);
        const Parsed p = parse(w.args);
        SCOPED_TRACE(std::string(w.xdg ? w.xdg : "(unset)") + " " + (w.home ? w.home : "(unset)"));
        EXPECT_EQ(p.status, w.status);
        if (w.status == -1) {
            EXPECT_EQ(p.config.state_dir, w.state);
            // Without --start-time the card clock starts from the host's.
            EXPECT_GE(p.config.start_time, before);
        } else {
            EXPECT_NE(p.err.find("--state"), std::string::npos) << p.err;
        }
    }
}

} // namespace
} // namespace kmb::sim
