// kmbdiag-sim's command line: each option in both spellings, the garbage an operator can type,
// and the help and fault catalogue it prints.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/command_line.h"
#include "sim/config.h"
#include "sim/faults.h"

namespace kmb::sim {
namespace {

struct Parsed {
    int status;
    std::string out;
    std::string err;
    SimConfig config;
};

class MemoryStream {
public:
    MemoryStream() : file_(open_memstream(&buf_, &size_)) {}
    ~MemoryStream()
    {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        std::free(buf_);
    }
    FILE* file() { return file_; }
    std::string text()
    {
        std::fflush(file_);
        return std::string(buf_, size_);
    }

private:
    char* buf_ = nullptr;
    size_t size_ = 0;
    FILE* file_;
};

Parsed parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "kmbdiag-sim");
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    argv.push_back(nullptr);
    MemoryStream out;
    MemoryStream err;
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
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv()
    {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(CommandLine, ValidOptionsInBothSpellings)
{
    struct Valid {
        std::vector<std::string> args;
        std::function<void(const SimConfig&)> check;
    };
    const Valid cases[] = {
        {{"--state", "/s"}, [](const SimConfig& c) { EXPECT_EQ(c.state_dir, "/s"); }},
        {{"--state=/s=t"}, [](const SimConfig& c) { EXPECT_EQ(c.state_dir, "/s=t"); }},
        {{"--speed", "0"}, [](const SimConfig& c) { EXPECT_EQ(c.speed, 0.0); }},
        {{"--speed=2.5"}, [](const SimConfig& c) { EXPECT_EQ(c.speed, 2.5); }},
        {{"--speed", "1e-3"}, [](const SimConfig& c) { EXPECT_EQ(c.speed, 1e-3); }},
        {{"--start-time", "1700000000"}, [](const SimConfig& c) { EXPECT_EQ(c.start_time, 1700000000); }},
        {{"--start-time=0"}, [](const SimConfig& c) { EXPECT_EQ(c.start_time, 0); }},
        {{"--fault", "iox-absent", "--fault=no-fixture", "--fault", "iox-absent"},
         [](const SimConfig& c) { EXPECT_EQ(c.faults, (std::vector<Fault>{Fault::IoxAbsent, Fault::NoFixture})); }},
        {{"--env", "rev#=03", "--env=part#=a=b", "--env", "empty="},
         [](const SimConfig& c) {
             const std::vector<std::pair<std::string, std::string>> expected = {
                 {"rev#", "03"}, {"part#", "a=b"}, {"empty", ""}};
             EXPECT_EQ(c.env, expected);
         }},
        {{"--sigint-at", "1.5", "--sigint-at=0", "--sigint-at", "42"},
         [](const SimConfig& c) { EXPECT_EQ(c.sigint_at, (std::vector<double>{1.5, 0.0, 42.0})); }},
        {{"--syslog", "/var/log/card"}, [](const SimConfig& c) { EXPECT_EQ(c.syslog_path, "/var/log/card"); }},
        {{"--syslog=/x", "--"}, [](const SimConfig& c) { EXPECT_EQ(c.syslog_path, "/x"); }},
        {{}, [](const SimConfig& c) {
             EXPECT_EQ(c.speed, 1.0);
             EXPECT_TRUE(c.faults.empty());
             EXPECT_TRUE(c.env.empty());
             EXPECT_TRUE(c.sigint_at.empty());
             EXPECT_TRUE(c.syslog_path.empty());
         }},
    };
    const ScopedEnv home("HOME", "/home/op");
    for (const Valid& v : cases) {
        const Parsed p = parse(v.args);
        SCOPED_TRACE(::testing::PrintToString(v.args));
        EXPECT_EQ(p.status, -1);
        EXPECT_EQ(p.out, "");
        EXPECT_EQ(p.err, "");
        v.check(p.config);
    }
}

TEST(CommandLine, BadValuesAreRefused)
{
    struct Bad {
        std::vector<std::string> args;
        std::string named; // what the message must quote
    };
    const Bad cases[] = {
        {{"--speed", "12abc"}, "12abc"},
        {{"--speed="}, "''"},
        {{"--speed", "-1"}, "-1"},
        {{"--speed", "nan"}, "nan"},
        {{"--speed", "inf"}, "inf"},
        {{"--speed", "1e999"}, "1e999"},
        {{"--speed", " 1"}, " 1"},
        {{"--start-time", "12abc"}, "12abc"},
        {{"--start-time", ""}, "''"},
        {{"--start-time", "-5"}, "-5"},
        {{"--start-time", "1.5"}, "1.5"},
        {{"--start-time", "+5"}, "+5"},
        {{"--start-time", "99999999999999999999999"}, "99999999999999999999999"},
        {{"--sigint-at", "-1"}, "-1"},
        {{"--sigint-at", "nan"}, "nan"},
        {{"--sigint-at", "x"}, "x"},
        {{"--sigint-at", "1e300"}, "1e300"},
        {{"--env", "noequals"}, "noequals"},
        {{"--env", "=v"}, "=v"},
        {{"--env", "a=b\nc"}, "a=b\nc"},
        {{"--state", ""}, "--state"},
        {{"--syslog="}, "--syslog"},
    };
    for (const Bad& b : cases) {
        const Parsed p = parse(b.args);
        SCOPED_TRACE(::testing::PrintToString(b.args));
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.out, "");
        EXPECT_EQ(p.err.rfind("kmbdiag-sim: ", 0), 0u) << p.err;
        EXPECT_NE(p.err.find(b.named), std::string::npos) << p.err;
    }
}

TEST(CommandLine, MistypedCommandLinesPointToHelp)
{
    struct Mistyped {
        std::vector<std::string> args;
        std::string named;
    };
    const Mistyped cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"--bogus=1"}, "--bogus"},
        {{"-s"}, "-s"},
        {{"--state"}, "--state"},
        {{"--speed"}, "--speed"},
        {{"--fault"}, "--fault"},
        {{"--speed", "0", "--env"}, "--env"},
        {{"--help=yes"}, "--help"},
        {{"--list-faults=1"}, "--list-faults"},
        {{"card"}, "card"},
        {{"--", "--speed"}, "--speed"},
        {{"-"}, "-"},
    };
    for (const Mistyped& m : cases) {
        const Parsed p = parse(m.args);
        SCOPED_TRACE(::testing::PrintToString(m.args));
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.out, "");
        EXPECT_NE(p.err.find("'" + m.named + "'"), std::string::npos) << p.err;
        EXPECT_NE(p.err.find("--help"), std::string::npos) << p.err;
    }
}

TEST(CommandLine, UnknownFaultSuggestsTheNearestName)
{
    struct Suggest {
        const char* typed;
        const char* message;
    };
    const Suggest cases[] = {
        {"iox-absnt", "kmbdiag-sim: unknown fault 'iox-absnt' (did you mean 'iox-absent'?)\n"},
        {"no_fixture", "kmbdiag-sim: unknown fault 'no_fixture' (did you mean 'no-fixture'?)\n"},
        {"agentdrv", "kmbdiag-sim: unknown fault 'agentdrv' (did you mean 'agentdrv-absent'?)\n"},
    };
    for (const Suggest& s : cases) {
        Parsed p = parse({"--fault", s.typed});
        EXPECT_EQ(p.status, 2);
        EXPECT_EQ(p.err, s.message);
        p = parse({std::string("--fault=") + s.typed});
        EXPECT_EQ(p.err, s.message);
    }
}

TEST(CommandLine, ListFaultsPrintsTheWholeCatalogueAligned)
{
    const Parsed p = parse({"--list-faults"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "");
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < p.out.size();) {
        const std::size_t nl = p.out.find('\n', at);
        ASSERT_NE(nl, std::string::npos) << "last line without its end";
        lines.push_back(p.out.substr(at, nl - at));
        at = nl + 1;
    }
    const auto catalogue = fault_catalogue();
    ASSERT_EQ(lines.size(), catalogue.size());
    std::optional<std::size_t> column;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::string name = catalogue[i].name;
        EXPECT_EQ(line.rfind(name + " ", 0), 0u) << line;
        const std::size_t meaning = line.find(catalogue[i].meaning);
        ASSERT_NE(meaning, std::string::npos) << line;
        EXPECT_EQ(meaning + std::string(catalogue[i].meaning).size(), line.size()) << line;
        if (!column) {
            column = meaning;
        }
        EXPECT_EQ(meaning, *column) << "meanings not aligned: " << line;
    }
}

TEST(CommandLine, HelpMentionsEveryOption)
{
    const Parsed p = parse({"--help"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.err, "");
    for (const char* option : {"--state", "--speed", "--start-time", "--fault", "--list-faults", "--env",
                               "--sigint-at", "--syslog", "--help", "--version"}) {
        EXPECT_NE(p.out.find(std::string(option) + " "), std::string::npos) << option;
    }
}

TEST(CommandLine, Version)
{
    const Parsed p = parse({"--version"});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.out, "kmbdiag-sim 1.0.0\n");
    EXPECT_EQ(p.err, "");
}

TEST(CommandLine, DefaultStateFolder)
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
        const Parsed p = parse(w.args);
        SCOPED_TRACE(std::string(w.xdg ? w.xdg : "(unset)") + " " + (w.home ? w.home : "(unset)"));
        EXPECT_EQ(p.status, w.status);
        if (w.status == -1) {
            EXPECT_EQ(p.config.state_dir, w.state);
        } else {
            EXPECT_NE(p.err.find("--state"), std::string::npos) << p.err;
        }
    }
}

TEST(CommandLine, StartTimeDefaultsToTheHostsClock)
{
    const ScopedEnv home("HOME", "/home/op");
    const time_t before = std::time(nullptr);
    const Parsed p = parse({});
    const time_t after = std::time(nullptr);
    EXPECT_GE(p.config.start_time, before);
    EXPECT_LE(p.config.start_time, after);
}

} // namespace
} // namespace kmb::sim
