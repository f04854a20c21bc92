// The card's shell as the diagnostic drives it: words, quotes and comments, redirections that
// exist before the program runs, and the card's programs with their outputs and statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/boot_env.h"
#include "sim/card_fs.h"
#include "sim/shell.h"
#include "sim/trace.h"
#include "support/capture.h"

namespace kmb::sim {
namespace {

constexpr int kExit1 = 1 << 8;
constexpr int kSyntax = 2 << 8;
constexpr int kNotFound = 127 << 8;

class TempDir {
public:
    TempDir()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/kmb-shell-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

struct Case {
    const char* line;
    int status;
    const char* out;
    const char* err;
};

class ShellTest : public ::testing::Test {
protected:
    ShellTest() : fs_(dir_.path() / "fs"), env_(dir_.path() / "fw_env")
    {
        fs_.boot(true);
    }

    Outcome run(const std::string& line)
    {
        test::CapturedOutput capture;
        const int status = shell_.run(line.c_str());
        capture.stop();
        return {status, capture.out(), capture.err()};
    }

    void expect(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            const Outcome o = run(c.line);
            EXPECT_EQ(o.status, c.status) << "line: " << c.line;
            EXPECT_EQ(o.out, c.out) << "line: " << c.line;
            EXPECT_EQ(o.err, c.err) << "line: " << c.line;
        }
    }

    std::string file(const std::string& card_path)
    {
        std::string text;
        EXPECT_TRUE(fs_.read_text(card_path, text)) << card_path;
        return text;
    }

    TempDir dir_;
    CardFs fs_;
    BootEnv env_;
    Trace trace_;
    Shell shell_{fs_, env_, trace_};
};

TEST_F(ShellTest, WordsQuotesAndComments)
{
    const std::vector<Case> cases = {
        {"/usr/local/bin/fw_printenv rev#", 0, "rev#=A0\n", ""},
        {"  /usr/local/bin/fw_printenv \t rev#\tpart#  ", 0, "rev#=A0\npart#=30R5894\n", ""},
        // '#' inside a word is part of it; at the start of a word it begins a comment.
        {"/usr/local/bin/fw_printenv rev# # serial#", 0, "rev#=A0\n", ""},
        {"/usr/local/bin/fw_printenv rev# #serial#", 0, "rev#=A0\n", ""},
        {"/usr/local/bin/fw_printenv 'rev#' \"part#\"", 0, "rev#=A0\npart#=30R5894\n", ""},
        {"/usr/local/bin/fw_printenv re'v'\"#\"", 0, "rev#=A0\n", ""},
        {"/usr/local/bin/fw_printenv '#rev'", kExit1, "", "## Error: \"#rev\" not defined\n"},
        {"/usr/local/bin/fw_printenv 'a b'", kExit1, "", "## Error: \"a b\" not defined\n"},
        {"/usr/local/bin/fw_printenv \"x\\\"y\"", kExit1, "", "## Error: \"x\"y\" not defined\n"},
        {"/usr/local/bin/fw_printenv 'x\\y'", kExit1, "", "## Error: \"x\\y\" not defined\n"},
        {"/usr/local/bin/fw_printenv x\\ y", kExit1, "", "## Error: \"x y\" not defined\n"},
        {"/usr/local/bin/fw_printenv ''", kExit1, "", "## Error: \"\" not defined\n"},
        {"", 0, "", ""},
        {"   \t ", 0, "", ""},
        {"# nothing to run | ; && `x` $y", 0, "", ""},
        // Bare names are found on the search path.
        {"fw_printenv rev#", 0, "rev#=A0\n", ""},
    };
    expect(cases);
}

TEST_F(ShellTest, RefusesWhatItDoesNotSupportWithoutRunningAnything)
{
    fs_.write_text("/tmp/a", "a");
    fs_.write_text("/tmp/b", "b");
    const std::vector<std::string> lines = {
        "rm /tmp/a | rm /tmp/b",
        "rm /tmp/a; rm /tmp/b",
        "rm /tmp/a && rm /tmp/b",
        "rm /tmp/a &",
        "rm `echo /tmp/a`",
        "rm $HOME /tmp/a",
        "rm \"$HOME\" /tmp/a",
        "rm /tmp/*",
        "rm /tmp/a < /tmp/b",
        "(rm /tmp/a)",
        "X=1 rm /tmp/a",
        "rm /tmp/a\nrm /tmp/b",
        "rm /tmp/a 'unterminated",
        "rm /tmp/a \"unterminated",
        "rm /tmp/a \\",
        "rm /tmp/a >",
        "rm /tmp/a > > /tmp/c",
        "rm /tmp/a 3> /tmp/c",
        "rm /tmp/a >| /tmp/c",
        "rm /tmp/a >&3",
    };
    for (const std::string& line : lines) {
        const Outcome o = run(line);
        EXPECT_EQ(o.status, kSyntax) << line;
        EXPECT_EQ(o.out, "") << line;
        EXPECT_EQ(o.err.rfind("sh: ", 0), 0u) << line << " -> " << o.err;
        EXPECT_EQ(o.err.back(), '\n') << line;
    }
    EXPECT_TRUE(fs_.exists("/tmp/a"));
    EXPECT_TRUE(fs_.exists("/tmp/b"));
    EXPECT_FALSE(fs_.exists("/tmp/c"));
}

TEST_F(ShellTest, OverlongAndGarbageLines)
{
    fs_.write_text("/tmp/a", "a");
    const std::string overlong = "rm /tmp/a " + std::string(100'000, 'x');
    Outcome o = run(overlong);
    EXPECT_EQ(o.status, kSyntax);
    EXPECT_EQ(o.err, "sh: command line too long\n");
    EXPECT_TRUE(fs_.exists("/tmp/a"));

    // Just inside the bound it is an ordinary (if odd) command line.
    std::string many = "rm -f /tmp/a";
    while (many.size() < 4090) {
        many += " y";
    }
    o = run(many);
    EXPECT_EQ(o.status, 0);
    EXPECT_FALSE(fs_.exists("/tmp/a"));

    o = run("\x01\x02\xff\xfe");
    EXPECT_EQ(o.status, kNotFound);
    EXPECT_EQ(o.err, "sh: \x01\x02\xff\xfe: not found\n");

    EXPECT_EQ(shell_.run(nullptr), 1); // system(NULL): a shell is there
}

TEST_F(ShellTest, RedirectionCreatesTheFileBeforeTheProgramRuns)
{
    fs_.write_text("/tmp/diag_version", "stale contents\n");
    Outcome o = run("/usr/local/bin/no-such-script -e -r > /tmp/diag_version");
    EXPECT_EQ(o.status, kNotFound);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "sh: /usr/local/bin/no-such-script: not found\n");
    EXPECT_EQ(file("/tmp/diag_version"), "");

    o = run("nosuch >/tmp/fresh");
    EXPECT_EQ(o.status, kNotFound);
    EXPECT_EQ(o.err, "sh: nosuch: not found\n");
    EXPECT_TRUE(fs_.exists("/tmp/fresh"));

    // A redirection alone creates its file and succeeds.
    o = run("> /tmp/only");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(file("/tmp/only"), "");
}

TEST_F(ShellTest, RedirectionForms)
{
    struct Redirect {
        const char* line;
        int status;
        const char* console_out;
        const char* console_err;
        const char* path;
        const char* contents;
    };
    const Redirect cases[] = {
        {"/usr/local/bin/fw_printenv rev# > /tmp/env.log", 0, "", "", "/tmp/env.log", "rev#=A0\n"},
        {"/usr/local/bin/fw_printenv rev#>/tmp/env2.log", 0, "", "", "/tmp/env2.log", "rev#=A0\n"},
        // A digit is a descriptor only right before '>'.
        {"fw_printenv rev# 2 >/tmp/two", kExit1, "", "## Error: \"2\" not defined\n", "/tmp/two", "rev#=A0\n"},
        {"fw_printenv rev# nope 2>/tmp/err", kExit1, "rev#=A0\n", "", "/tmp/err", "## Error: \"nope\" not defined\n"},
        {"fw_printenv rev# nope >/tmp/both 2>&1", kExit1, "", "", "/tmp/both",
         "rev#=A0\n## Error: \"nope\" not defined\n"},
        // Standard error takes what standard output was at that point: the console's.
        {"fw_printenv rev# nope 2>&1 >/tmp/outonly", kExit1, "## Error: \"nope\" not defined\n", "", "/tmp/outonly",
         "rev#=A0\n"},
        {"fw_printenv part# 1>/tmp/one", 0, "", "", "/tmp/one", "part#=30R5894\n"},
        {"fw_printenv rev# > relative.log", 0, "", "", "/relative.log", "rev#=A0\n"},
        {"fw_printenv rev# > '/tmp/with blank'", 0, "", "", "/tmp/with blank", "rev#=A0\n"},
    };
    for (const Redirect& c : cases) {
        const Outcome o = run(c.line);
        EXPECT_EQ(o.status, c.status) << c.line;
        EXPECT_EQ(o.out, c.console_out) << c.line;
        EXPECT_EQ(o.err, c.console_err) << c.line;
        EXPECT_EQ(file(c.path), c.contents) << c.line;
    }
}

TEST_F(ShellTest, AppendAndDiscard)
{
    EXPECT_EQ(run("fw_printenv rev# >> /tmp/log").status, 0);
    EXPECT_EQ(run("fw_printenv part# >>/tmp/log").status, 0);
    EXPECT_EQ(file("/tmp/log"), "rev#=A0\npart#=30R5894\n");
    EXPECT_EQ(run("fw_printenv rev# > /tmp/log").status, 0);
    EXPECT_EQ(file("/tmp/log"), "rev#=A0\n");

    const Outcome o = run("fw_printenv rev# nope >/dev/null 2>/dev/null");
    EXPECT_EQ(o.status, kExit1);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "");
}

TEST_F(ShellTest, RedirectionThatCannotBeCreated)
{
    const Outcome o = run("fw_printenv rev# > /nofolder/x");
    EXPECT_EQ(o.status, kSyntax);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "sh: cannot create /nofolder/x: No such file or directory\n");
}

TEST_F(ShellTest, Rm)
{
    struct RmCase {
        std::vector<const char*> present; // files laid down before
        const char* line;
        int status;
        const char* err;
        std::vector<const char*> gone;
        std::vector<const char*> kept;
    };
    const RmCase cases[] = {
        {{"/tmp/env.log"}, "rm /tmp/env.log", 0, "", {"/tmp/env.log"}, {}},
        {{}, "rm /tmp/env.log", kExit1, "rm: cannot remove '/tmp/env.log': No such file or directory\n", {}, {}},
        {{}, "rm -f /tmp/env.log", 0, "", {}, {}},
        {{"/tmp/a", "/tmp/c"}, "rm /tmp/a /tmp/b /tmp/c", kExit1,
         "rm: cannot remove '/tmp/b': No such file or directory\n", {"/tmp/a", "/tmp/c"}, {}},
        {{"/mnt/logs/diagwd"}, "/bin/rm -f /mnt/logs/diagwd /mnt/logs/diagpri", 0, "", {"/mnt/logs/diagwd"}, {}},
        {{}, "rm", kExit1, "rm: missing operand\nTry 'rm --help' for more information.\n", {}, {}},
        {{}, "rm -f", 0, "", {}, {}},
        {{"/tmp/a"}, "rm -r /tmp/a", kExit1, "rm: invalid option -- 'r'\nTry 'rm --help' for more information.\n", {},
         {"/tmp/a"}},
        {{"/tmp/a"}, "rm /tmp/../tmp/a", 0, "", {"/tmp/a"}, {}},
        {{}, "rm ''", kExit1, "rm: cannot remove '': No such file or directory\n", {}, {}},
        {{}, "rm /etc", kExit1, "rm: cannot remove '/etc': Is a directory\n", {}, {}},
    };
    for (const RmCase& c : cases) {
        for (const char* p : c.present) {
            ASSERT_TRUE(fs_.write_text(p, "x"));
        }
        const Outcome o = run(c.line);
        EXPECT_EQ(o.status, c.status) << c.line;
        EXPECT_EQ(o.out, "") << c.line;
        EXPECT_EQ(o.err, c.err) << c.line;
        for (const char* p : c.gone) {
            EXPECT_FALSE(fs_.exists(p)) << c.line << ": " << p;
        }
        for (const char* p : c.kept) {
            EXPECT_TRUE(fs_.exists(p)) << c.line << ": " << p;
        }
    }
}

TEST_F(ShellTest, FwPrintenv)
{
    env_.set("rev#", "03");
    env_.set("bootcmd", "run flash_self");
    const std::vector<Case> cases = {
        {"/usr/local/bin/fw_printenv part# nope serial# rev#", kExit1, "part#=30R5894\nserial#=KM6A0001234\nrev#=03\n",
         "## Error: \"nope\" not defined\n"},
        {"/usr/local/bin/fw_printenv nope other", kExit1, "",
         "## Error: \"nope\" not defined\n## Error: \"other\" not defined\n"},
        {"/usr/local/bin/fw_printenv", 0,
         "part#=30R5894\nserial#=KM6A0001234\nrev#=03\nethaddr=00:09:6b:4e:12:34\nbootcmd=run flash_self\n", ""},
        {"/usr/local/bin/fw_printenv -n rev#", 0, "03\n", ""},
        {"/usr/local/bin/fw_printenv -n", kExit1, "", "## Error: `-n' option requires exactly one argument\n"},
    };
    expect(cases);
}

TEST_F(ShellTest, VersionScript)
{
    struct VersionCase {
        const char* release_file; // nullptr: no file
        const char* line;
        int status;
        const char* out;
        bool err;
    };
    const VersionCase cases[] = {
        {"3.2.0\n", "/usr/local/bin/version.sh -e -r", 0, "3.2.0\n", false},
        {"3.2.1\r\nbuilt by someone\n", "/usr/local/bin/version.sh -e -r", 0, "3.2.1\r\n", false},
        {"3.3", "/usr/local/bin/version.sh -r -e", 0, "3.3", false},
        {"\n", "/usr/local/bin/version.sh -er", 0, "\n", false},
        {"", "/usr/local/bin/version.sh -e -r", 0, "", false},
        {nullptr, "/usr/local/bin/version.sh -e -r", kExit1, "", true},
        {"3.2.0\n", "/usr/local/bin/version.sh -x", kSyntax, "", true},
        {"3.2.0\n", "/usr/local/bin/version.sh -e -r extra", kSyntax, "", true},
    };
    for (const VersionCase& c : cases) {
        if (c.release_file != nullptr) {
            ASSERT_TRUE(fs_.write_text("/etc/version", c.release_file));
        } else {
            fs_.remove("/etc/version");
        }
        const Outcome o = run(c.line);
        EXPECT_EQ(o.status, c.status) << c.line;
        EXPECT_EQ(o.out, c.out) << c.line;
        EXPECT_EQ(!o.err.empty(), c.err) << c.line << ": " << o.err;
    }
}

TEST_F(ShellTest, VersionScriptAsTheDiagnosticRunsIt)
{
    ASSERT_TRUE(fs_.write_text("/etc/version", "3.2.1\r\n"));
    const Outcome o = run("/usr/local/bin/version.sh -e -r > /tmp/diag_version");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(file("/tmp/diag_version"), "3.2.1\r\n");
}

TEST_F(ShellTest, VersionCommandNamesReleaseAndImage)
{
    ASSERT_TRUE(fs_.write_text("/etc/version", "3.2.1\r\n"));
    const Outcome o = run("version");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_NE(o.out.find("3.2.1\n"), std::string::npos) << o.out; // the line end of the file is not carried
    EXPECT_NE(o.out.find("primary"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find('\r'), std::string::npos);
}

TEST_F(ShellTest, OutputKeepsItsPlaceAmongTheProgramsOwnPrints)
{
    test::CapturedOutput capture;
    std::printf("before ");
    const int status = shell_.run("fw_printenv rev#");
    std::printf("after\n");
    capture.stop();
    EXPECT_EQ(status, 0);
    EXPECT_EQ(capture.out(), "before rev#=A0\nafter\n");
}

TEST_F(ShellTest, TracesEachCommand)
{
    trace_.enable(true);
    run("rm -f /tmp/x");
    run("nosuch > /tmp/y");
    run("rm /tmp/a; rm /tmp/b");
    const std::vector<std::string> expected = {"sh rm -f /tmp/x", "sh nosuch > /tmp/y", "sh rm /tmp/a; rm /tmp/b"};
    EXPECT_EQ(trace_.lines(), expected);
}

} // namespace
} // namespace kmb::sim
