// kmbdiag-sim's command line: each option in both spellings, the garbage an operator can type,
// and the help and fault catalogue it prints.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
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
    const Parsed edges = parse({"--speed", "1000000", "--start-time", "2147483647", "--sigint-at", "1e9",
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
        {"25", 50}, {"-0.5", -1}, {"-12.5", -25}, {"-55", -110}, {"125", 250}, {"0x10", 32},
    };
    for (const auto& [text, half_degrees] : cases) {
        const Parsed p = parse({"--temp", text});
        EXPECT_EQ(p.status, -1) << text << p.err;
        EXPECT_EQ(p.config.temperature_half_degrees, half_degrees) << text;
    }
    EXPECT_EQ(parse({}).config.temperature_half_degrees, 50);
}

TEST(CommandLine, UnknownFaultSuggestsTheNearestName)
{
    const std::pair<const char*, const char*> cases[] = {
        {"iox-absnt", "kmbdiag-sim: unknown fault 'iox-absnt' (did you mean 'iox-absent'?)\n"},
        {"no_fixture", "kmbdiag-sim: unknown fault 'no_fixture' (did you mean 'no-fixture'?)\n"},
        {"agentdrv", "kmbdiag-sim: unknown fault 'agentdrv' (did you mean 'agentdrv-absent'?)\n"},
    };
    for (const auto& [typed, message] : cases) {
        Parsed p = parse({"--fault", typed});
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.err, message);
        EXPECT_EQ(parse({std::string("--fault=") + typed}).err, message);
    }
}

TEST(CommandLine, ListFaultsPrintsTheWholeCatalogueAligned)
{
    const Parsed p = parse({"--list-faults"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "");
    ASSERT_FALSE(p.out.empty());
    ASSERT_EQ(p.out.back(), '\n');
    std::size_t at = 0;
    std::optional<std::size_t> column;
    for (const FaultInfo& f : fault_catalogue()) {
        const std::size_t nl = p.out.find('\n', at);
        ASSERT_NE(nl, std::string::npos) << "missing line for " << f.name;
        const std::string line = p.out.substr(at, nl - at);
        at = nl + 1;
        EXPECT_EQ(line.rfind(std::string(f.name) + " ", 0), 0u) << line;
        const std::size_t meaning = line.size() - std::string(f.meaning).size();
        EXPECT_EQ(line.substr(meaning), f.meaning) << line;
        EXPECT_EQ(meaning, column.value_or(meaning)) << "meanings not aligned: " << line;
        column = meaning;
    }
    EXPECT_EQ(at, p.out.size()) << "more lines than faults";
}

TEST(CommandLine, HelpAndVersion)
{
    Parsed p = parse({"--help"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "");
    for (const char* option : {"--state", "--speed", "--start-time", "--fault", "--list-faults", "--env",
                               "--sigint-at", "--syslog", "--temp", "--console-baud", "--ram", "--cpld", "--help",
                               "--version"}) {
        EXPECT_NE(p.out.find(std::string(option) + " "), std::string::npos) << option;
    }
    p = parse({"--version"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, "kmbdiag-sim 1.0.0\n");
    EXPECT_EQ(p.err, "");
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
