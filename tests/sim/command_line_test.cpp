// kmbdiag-sim's command line: getopt's spellings (--opt value, --opt=value, unique prefixes,
// '--'), the bounds of every number, the exit statuses, and the nearest names it offers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/app/command_line.h"
#include "sim/core/config.h"
#include "sim/core/faults.h"
#include "support/capture.h"

namespace kmb::sim {
namespace {

// Each test parses many lines in one process, as the daemons do: getopt_long's place is reset
// between them or the later lines would go unread.
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
    test::MemoryFile out;
    test::MemoryFile err;
    Parsed p;
    p.status = parse_command_line(static_cast<int>(args.size()), argv.data(), p.config, out.file(), err.file());
    p.out = out.text();
    p.err = err.text();
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
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }

    const char* name_;
    std::optional<std::string> old_;
};

TEST(CommandLine, EveryOptionInBothSpellingsByAnyUniqueBeginning)
{
    const std::vector<std::string> spelled[] = {
        {"--state", "/s=t", "--speed", "0", "--start-time", "0", "--fault", "iox-absent", "--fault", "no-fixture",
         "--fault", "iox-absent", "--env", "rev#=03", "--env", "part#=a=b", "--sigint-at", "1.5", "--sigint-at", "0",
         "--syslog", "/x", "--ram", "128", "--temp", "-12.5", "--cpld", "0xA0", "--console-baud", "9600", "--eth-ip",
         "10.0.0.7", "--agent", "valdor", "--"},
        {"--state=/s=t", "--speed=0", "--start-time=0", "--fault=iox-absent", "--fault=no-fixture",
         "--fault=iox-absent", "--env=rev#=03", "--env=part#=a=b", "--sigint-at=1.5", "--sigint-at=0", "--syslog=/x",
         "--ram=128", "--temp=-12.5", "--cpld=0xA0", "--console-baud=9600", "--eth-ip=10.0.0.7", "--agent=valdor"},
        {"--stat", "/s=t", "--spe=0", "--start", "0", "--fa", "iox-absent", "--fa=no-fixture", "--fault", "iox-absent",
         "--en", "rev#=03", "--env", "part#=a=b", "--sig=1.5", "--sig", "0", "--sys", "/x", "--ra", "0128", "--temp",
         "-12.5", "--cp", "160", "--console-b", "009600", "--eth=10.0.0.7", "--ag", "valdor"},
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
        EXPECT_EQ(p.config.env, (std::vector<std::pair<std::string, std::string>>{{"rev#", "03"}, {"part#", "a=b"}}));
        EXPECT_EQ(p.config.sigint_at, (std::vector<double>{1.5, 0.0}));
        EXPECT_EQ(p.config.syslog_path, "/x");
        EXPECT_EQ(p.config.ram_mib, 128u);
        EXPECT_EQ(p.config.temperature_half_degrees, -25);
        EXPECT_EQ(p.config.cpld_reason, uint8_t{0xA0});
        EXPECT_EQ(p.config.console_baud, 9600);
        EXPECT_EQ(p.config.eth_ip, "10.0.0.7");
        EXPECT_TRUE(p.config.valdor_agent);
    }
    const SimConfig defaults = parse({}).config;
    EXPECT_EQ(defaults.speed, 1.0);
    EXPECT_EQ(defaults.console_baud, 115200);
    EXPECT_EQ(defaults.ram_mib, 64u);
    EXPECT_EQ(defaults.temperature_half_degrees, 50);
    EXPECT_EQ(defaults.eth_ip, "192.0.2.20");
    EXPECT_FALSE(defaults.valdor_agent);
    EXPECT_FALSE(defaults.cpld_reason.has_value()) << "a card keeps the reason its last reset left";
    // The bounds themselves are taken.
    const Parsed edges = parse({"--speed", "1000000", "--start-time", "2147483647", "--sigint-at", "1000000000",
                                "--console-baud", "4000000", "--ram", "1024", "--temp", "125", "--cpld", "255"});
    EXPECT_EQ(edges.status, -1) << edges.err;
    EXPECT_EQ(edges.config.speed, 1e6);
    EXPECT_EQ(edges.config.start_time, 2147483647);
    EXPECT_EQ(edges.config.console_baud, 4000000);
    EXPECT_EQ(edges.config.ram_mib, 1024u);
    EXPECT_EQ(edges.config.temperature_half_degrees, 250);
    EXPECT_EQ(parse({"--speed", "0.001", "--temp", "-55"}).config.speed, 0.001);
    EXPECT_EQ(parse({"--temp", "-55"}).config.temperature_half_degrees, -110);
    EXPECT_EQ(parse({"--temp", ".5"}).config.temperature_half_degrees, 1);
}

TEST(CommandLine, BadValuesAreRefusedWithTheTextQuoted)
{
    // Every number is plain decimal within its bounds: hexadecimal (but --cpld's), exponents,
    // signs, blanks and units are refused with the text named.
    const std::pair<const char*, const char*> cases[] = {
        {"--speed", "12abc"},       {"--speed", ""},         {"--speed", "-1"},       {"--speed", "nan"},
        {"--speed", "inf"},         {"--speed", "1e3"},      {"--speed", "0x8"},      {"--speed", " 1"},
        {"--speed", "+1"},          {"--speed", "0.0009"},   {"--speed", "1000001"},  {"--speed", "1..5"},
        {"--start-time", "1.5"},    {"--start-time", "-5"},  {"--start-time", "2147483648"},
        {"--start-time", "99999999999999999999999"},        {"--sigint-at", "-1"},   {"--sigint-at", "1.5s"},
        {"--sigint-at", "1000000001"},                      {"--console-baud", "299"},
        {"--console-baud", "4000001"}, {"--console-baud", "9600.5"},                 {"--ram", "0"},
        {"--ram", "1025"},          {"--ram", "64M"},        {"--ram", "6.4e1"},      {"--temp", "25.25"},
        {"--temp", "-55.5"},        {"--temp", "125.5"},     {"--temp", "--5"},       {"--temp", "0x10"},
        {"--cpld", "0x100"},        {"--cpld", "256"},       {"--cpld", "0x"},        {"--cpld", "-1"},
        {"--env", "noequals"},      {"--env", "=v"},         {"--env", "a=b\nc"},     {"--eth-ip", "192.0.2"},
        {"--eth-ip", "192.0.2.256"}, {"--eth-ip", "127.0.0.1"}, {"--eth-ip", "224.0.0.1"},
        {"--eth-ip", "192.0.2.255"}, {"--eth-ip", "192.0.2.0"}, {"--eth-ip", "0.1.2.3"},
        {"--env", "ethaddr=02:00:4b:4d:42"},                {"--env", "ethaddr=02:00:4b:4d:42:01:07"},
        {"--env", "ethaddr=02:00:4b:4d:42:0g"},
        {"--env", "ethaddr=01:00:5e:00:00:01"},             {"--env", "ethaddr=00:00:00:00:00:00"},
        {"--env", "ethaddr=02-00-4b-4d-42-01"},
    };
    for (const auto& [option, text] : cases) {
        const Parsed p = parse({option, text});
        SCOPED_TRACE(std::string(option) + " '" + text + "'");
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.out, "");
        EXPECT_EQ(p.err.rfind("kmbdiag-sim: ", 0), 0u) << p.err;
        EXPECT_NE(p.err.find(std::string("'") + text), std::string::npos) << p.err;
    }
    EXPECT_EQ(parse({"--state", ""}).status, 2);
    EXPECT_EQ(parse({"--syslog="}).status, 2);
    // What eth0 can have and what the driver takes from ethaddr.
    const Parsed good = parse({"--eth-ip", "223.255.254.1", "--env", "ethaddr=02:00:4B:4d:42:0A", "--env", "rev#="});
    EXPECT_EQ(good.status, -1) << good.err;
    EXPECT_EQ(good.config.env.front().second, "02:00:4B:4d:42:0A");
}

TEST(CommandLine, MistypedLinesAreAnsweredWithTheNearestOptionsAndNothingElse)
{
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--sped", "0"}, "kmbdiag-sim: unrecognized option '--sped' (did you mean '--speed'?)\n"},
        {{"--fualt=x"}, "kmbdiag-sim: unrecognized option '--fualt' (did you mean '--fault'?)\n"},
        {{"--faults"}, "kmbdiag-sim: unrecognized option '--faults' (did you mean '--list-faults'?)\n"},
        {{"--bogus"}, "kmbdiag-sim: unrecognized option '--bogus'\n"},
        {{"-speed", "0"}, "kmbdiag-sim: unrecognized option '-s' in '-speed' (did you mean '--speed'?)\n"},
        {{"-x"}, "kmbdiag-sim: unrecognized option '-x'\n"},
        {{"--help=yes"}, "kmbdiag-sim: option '--help' doesn't allow a value\n"},
        {{"--state"}, "kmbdiag-sim: option '--state' requires a value (DIR)\n"},
        {{"--speed", "0", "--env"}, "kmbdiag-sim: option '--env' requires a value (NAME=VALUE)\n"},
        {{"stray"}, "kmbdiag-sim: unexpected argument 'stray'\n"},
        {{"--", "--speed"}, "kmbdiag-sim: unexpected argument '--speed'\n"},
        {{"--st", "/s"}, "kmbdiag-sim: option '--st' is ambiguous; possibilities: '--state' '--start-time'\n"},
        // A bad word anywhere makes the line bad: the good options' output is not printed.
        {{"--version", "stray"}, "kmbdiag-sim: unexpected argument 'stray'\n"},
        {{"-hx"}, "kmbdiag-sim: unrecognized option '-x' in '-hx'\n"},
    };
    for (const auto& [args, message] : cases) {
        const Parsed p = parse(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.out, "");
        EXPECT_EQ(p.err, message + "Try 'kmbdiag-sim --help' for more information.\n");
    }
    // A bad value after a request for help is still a bad line.
    EXPECT_EQ(parse({"-h", "--speed", "fast"}).out, "");
    EXPECT_EQ(parse({"--list-faults", "--fault", "nope"}).status, 2);
}

TEST(CommandLine, UnknownFaultSuggestsTheNamesNearestToWhatWasTyped)
{
    // Ranked by what the engineer typed: names it begins, then names sharing its words, then
    // a few keystrokes; "pin7" once suggested mem-tiny.
    const std::pair<const char*, const char*> cases[] = {
        {"pin7", "'counter-agent-pin7-stuck-low' or 'counter-agent-pin7-stuck-high'"},
        {"iox-absnt", "'iox-absent'"},
        {"NO_FIXTURE", "'no-fixture'"},
        {"lm77-int", "'lm77-int-open' or 'lm77-int-stuck'"},
        {"serial", "'serial-ring', 'serial-absent' or 'serial-corrupt'"}, // the shortest completions first
        {"stuck-pin7-high", "'counter-agent-pin7-stuck-high'"},
    };
    for (const auto& [typed, names] : cases) {
        EXPECT_EQ(parse({std::string("--fault=") + typed}).err,
                  std::string("kmbdiag-sim: unknown fault '") + typed + "' (did you mean " + names + "?)\n");
    }
    for (const char* typed : {"zzzzzzzzzz", ""}) {
        const Parsed p = parse({"--fault", typed});
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.err, std::string("kmbdiag-sim: unknown fault '") + typed +
                             "' (kmbdiag-sim --list-faults lists them)\n");
    }
}

TEST(CommandLine, HelpVersionAndTheFaultCatalogueAnswerWithStatusZero)
{
    const std::pair<std::vector<std::string>, std::string> asks[] = {
        {{"--he"}, "Usage: kmbdiag-sim"}, {{"-hV"}, "Usage: kmbdiag-sim"}, {{"-V"}, "kmbdiag-sim 1.0.0\n"},
        {{"--list"}, "Seen by "},
    };
    for (const auto& [args, begins] : asks) {
        const Parsed a = parse(args);
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.err, "");
        EXPECT_EQ(a.out.rfind(begins, 0), 0u) << a.out;
    }
    // Every fault of the catalogue is listed once, under a heading that names the test that sees it.
    const std::string list = parse({"--list-faults"}).out;
    std::set<std::string> listed;
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t nl = list.find('\n', at);
        const std::string line = list.substr(at, nl - at);
        at = nl + 1;
        if (line.rfind("  ", 0) == 0) {
            EXPECT_TRUE(listed.insert(line.substr(2, line.find(' ', 2) - 2)).second) << line;
        }
    }
    EXPECT_EQ(listed.size(), fault_catalogue().size());
    for (const FaultInfo& f : fault_catalogue()) {
        EXPECT_EQ(listed.count(f.name), 1u) << f.name;
    }
}

TEST(CommandLine, DefaultStateFolderAndStartTime)
{
    struct Where {
        const char* xdg;
        const char* home;
        std::vector<std::string> args;
        const char* state; // nullptr: refused, naming --state
    };
    const Where cases[] = {
        {"/xdg", "/home/op", {}, "/xdg/kmbdiag-sim/card"},
        {nullptr, "/home/op", {}, "/home/op/.local/state/kmbdiag-sim/card"},
        {"relative", "/home/op", {}, "/home/op/.local/state/kmbdiag-sim/card"},
        {nullptr, nullptr, {"--state", "/given"}, "/given"},
        {nullptr, "", {}, nullptr},
    };
    for (const Where& w : cases) {
        const ScopedEnv xdg("XDG_STATE_HOME", w.xdg);
        const ScopedEnv home("HOME", w.home);
        const time_t before = std::time(nullptr);
        const Parsed p = parse(w.args);
        SCOPED_TRACE(std::string(w.xdg ? w.xdg : "(unset)") + " " + (w.home ? w.home : "(unset)"));
        if (w.state != nullptr) {
            EXPECT_EQ(p.status, -1);
            EXPECT_EQ(p.config.state_dir, w.state);
            EXPECT_GE(p.config.start_time, before) << "without --start-time the card clock starts from the host's";
        } else {
            EXPECT_EQ(p.status, 2);
            EXPECT_NE(p.err.find("--state"), std::string::npos) << p.err;
        }
    }
}

} // namespace
} // namespace kmb::sim
