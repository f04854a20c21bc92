// The card's shell as the diagnostic drives it: words, quotes and comments, redirections that
// exist before the program runs, and the card's programs with their outputs and statuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/core/trace.h"
#include "sim/storage/card_fs.h"
#include "sim/userland/boot_env.h"
#include "sim/userland/shell.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::sim {
namespace {

constexpr int kExit1 = 1 << 8;
constexpr int kSyntax = 2 << 8;
constexpr int kNotFound = 127 << 8;

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
    ShellTest() { fs_.boot(true); }

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
            EXPECT_EQ(o.status, c.status) << c.line;
            EXPECT_EQ(o.out, c.out) << c.line;
            EXPECT_EQ(o.err, c.err) << c.line;
        }
    }

    std::string file(const std::string& card_path)
    {
        std::string text;
        EXPECT_TRUE(fs_.read_text(card_path, text)) << card_path;
        return text;
    }

    test::TempDir dir_;
    CardFs fs_{dir_.path() / "fs"};
    BootEnv env_{dir_.path() / "fw_env"};
    Trace trace_;
    Shell shell_{fs_, env_, trace_};
};

TEST_F(ShellTest, WordsQuotesAndComments)
{
    expect({
        // Bare names are found on the search path; blanks and tabs separate words.
        {"  fw_printenv \t rev#\tpart#  ", 0, "rev#=A0\npart#=KMB-P0001\n", ""},
        // '#' inside a word is part of it; at the start of a word it begins a comment.
        {"/usr/local/bin/fw_printenv rev# #serial#", 0, "rev#=A0\n", ""},
        {"fw_printenv 'rev#' \"part#\"", 0, "rev#=A0\npart#=KMB-P0001\n", ""},
        {"fw_printenv '#rev'", kExit1, "", "## Error: \"#rev\" not defined\n"},
        {"fw_printenv \"x\\\"y\"", kExit1, "", "## Error: \"x\"y\" not defined\n"},
        {"fw_printenv 'x\\y'", kExit1, "", "## Error: \"x\\y\" not defined\n"},
        {"fw_printenv x\\ y", kExit1, "", "## Error: \"x y\" not defined\n"},
        {"   \t ", 0, "", ""},
        {"# nothing to run | ; && `x` $y", 0, "", ""},
        {"\x01\x02\xff\xfe", kNotFound, "", "sh: \x01\x02\xff\xfe: not found\n"},
    });
    EXPECT_EQ(shell_.run(nullptr), 1); // system(NULL): a shell is there
}

TEST_F(ShellTest, RefusesWhatItDoesNotSupportWithoutRunningAnything)
{
    fs_.write_text("/tmp/a", "a");
    fs_.write_text("/tmp/b", "b");
    for (const char* line : {"rm /tmp/a | rm /tmp/b", "rm /tmp/a; rm /tmp/b", "rm /tmp/a &", "rm `echo /tmp/a`",
                             "rm \"$HOME\" /tmp/a", "rm /tmp/*", "rm /tmp/a < /tmp/b", "rm /tmp/a\nrm /tmp/b",
                             "rm /tmp/a 'unterminated", "rm /tmp/a \\", "rm /tmp/a > > /tmp/c", "rm /tmp/a 3> /tmp/c"}) {
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

TEST_F(ShellTest, LineLengthIsBounded)
{
    fs_.write_text("/tmp/a", "a");
    fs_.write_text("/tmp/b", "b");
    // 4096 characters is the longest line the shell takes.
    std::string longest = "rm -f /tmp/a";
    while (longest.size() < 4096) {
        longest += " y";
    }
    ASSERT_EQ(longest.size(), 4096u);
    EXPECT_EQ(run(longest).status, 0);
    EXPECT_FALSE(fs_.exists("/tmp/a"));

    const Outcome o = run("rm /tmp/b " + std::string(4097 - 10, 'y'));
    EXPECT_EQ(o.status, kSyntax);
    EXPECT_EQ(o.err, "sh: command line too long\n");
    EXPECT_TRUE(fs_.exists("/tmp/b"));
}

TEST_F(ShellTest, Redirections)
{
    struct Redirect {
        const char* before; // the file's contents before the line runs; nullptr: no file
        const char* line;
        int status;
        const char* console_out;
        const char* console_err;
        const char* path; // nullptr: no file to check
        const char* contents;
    };
    ASSERT_TRUE(fs_.write_text("/etc/version", "3.2.1\r\n"));
    const Redirect cases[] = {
        // The file is truncated or created before the shell looks for the program.
        {"stale\n", "/usr/local/bin/no-such-script -e -r > /tmp/diag_version", kNotFound, "",
         "sh: /usr/local/bin/no-such-script: not found\n", "/tmp/diag_version", ""},
        {nullptr, "> /tmp/only", 0, "", "", "/tmp/only", ""},
        {"stale\n", "/usr/local/bin/version.sh -e -r > /tmp/diag_version", 0, "", "", "/tmp/diag_version",
         "3.2.1\r\n"},
        {nullptr, "fw_printenv rev#>/tmp/env.log", 0, "", "", "/tmp/env.log", "rev#=A0\n"},
        // A digit is a descriptor only right before '>'.
        {nullptr, "fw_printenv rev# 2 >/tmp/two", kExit1, "", "## Error: \"2\" not defined\n", "/tmp/two",
         "rev#=A0\n"},
        {nullptr, "fw_printenv rev# nope 2>/tmp/err", kExit1, "rev#=A0\n", "", "/tmp/err",
         "## Error: \"nope\" not defined\n"},
        {nullptr, "fw_printenv rev# nope >/tmp/both 2>&1", kExit1, "", "", "/tmp/both",
         "rev#=A0\n## Error: \"nope\" not defined\n"},
        // Standard error takes what standard output was at that point: the console's.
        {nullptr, "fw_printenv rev# nope 2>&1 >/tmp/outonly", kExit1, "## Error: \"nope\" not defined\n", "",
         "/tmp/outonly", "rev#=A0\n"},
        {nullptr, "fw_printenv rev# > relative.log", 0, "", "", "/relative.log", "rev#=A0\n"},
        {"rev#=A0\n", "fw_printenv part# >>/tmp/log", 0, "", "", "/tmp/log", "rev#=A0\npart#=KMB-P0001\n"},
        {nullptr, "fw_printenv rev# nope >/dev/null 2>/dev/null", kExit1, "", "", nullptr, nullptr},
        {nullptr, "fw_printenv rev# > /nofolder/x", kSyntax, "",
         "sh: cannot create /nofolder/x: No such file or directory\n", nullptr, nullptr},
    };
    for (const Redirect& c : cases) {
        if (c.before != nullptr) {
            ASSERT_TRUE(fs_.write_text(c.path, c.before)) << c.line;
        }
        const Outcome o = run(c.line);
        EXPECT_EQ(o.status, c.status) << c.line;
        EXPECT_EQ(o.out, c.console_out) << c.line;
        EXPECT_EQ(o.err, c.console_err) << c.line;
        if (c.path != nullptr) {
            EXPECT_EQ(file(c.path), c.contents) << c.line;
        }
    }
}

TEST_F(ShellTest, Rm)
{
    struct RmCase {
        const char* line;
        int status;
        const char* err;
        const char* left; // which of /tmp/a and /tmp/c remain
    };
    const RmCase cases[] = {
        {"rm /tmp/a", 0, "", "/tmp/c"},
        {"rm /tmp/b", kExit1, "rm: cannot remove '/tmp/b': No such file or directory\n", "/tmp/a /tmp/c"},
        {"rm -f /tmp/b", 0, "", "/tmp/a /tmp/c"},
        {"rm /tmp/a /tmp/b /tmp/c", kExit1, "rm: cannot remove '/tmp/b': No such file or directory\n", ""},
        {"rm", kExit1, "rm: missing operand\nTry 'rm --help' for more information.\n", "/tmp/a /tmp/c"},
        {"rm -r /tmp/a", kExit1, "rm: invalid option -- 'r'\nTry 'rm --help' for more information.\n",
         "/tmp/a /tmp/c"},
        {"rm tmp/../tmp/a", 0, "", "/tmp/c"},
        {"rm /etc", kExit1, "rm: cannot remove '/etc': Is a directory\n", "/tmp/a /tmp/c"},
    };
    for (const RmCase& c : cases) {
        for (const char* p : {"/tmp/a", "/tmp/c"}) {
            ASSERT_TRUE(fs_.write_text(p, "x"));
        }
        const Outcome o = run(c.line);
        EXPECT_EQ(o.status, c.status) << c.line;
        EXPECT_EQ(o.out, "") << c.line;
        EXPECT_EQ(o.err, c.err) << c.line;
        for (const char* p : {"/tmp/a", "/tmp/c"}) {
            EXPECT_EQ(fs_.exists(p), std::string(c.left).find(p) != std::string::npos) << c.line << ": " << p;
        }
    }
}

TEST_F(ShellTest, FwPrintenv)
{
    env_.set("rev#", "03");
    env_.set("bootcmd", "run flash_self");
    expect({
        {"/usr/local/bin/fw_printenv part# nope serial# rev#", kExit1, "part#=KMB-P0001\nserial#=KMB-S0000001\nrev#=03\n",
         "## Error: \"nope\" not defined\n"},
        {"/usr/local/bin/fw_printenv nope other", kExit1, "",
         "## Error: \"nope\" not defined\n## Error: \"other\" not defined\n"},
        {"/usr/local/bin/fw_printenv", 0,
         "part#=KMB-P0001\nserial#=KMB-S0000001\nrev#=03\nethaddr=02:00:4b:4d:42:01\nbootcmd=run flash_self\n", ""},
        {"/usr/local/bin/fw_printenv -n rev#", 0, "03\n", ""},
        {"/usr/local/bin/fw_printenv -n", kExit1, "", "## Error: `-n' option requires exactly one argument\n"},
    });
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

TEST_F(ShellTest, TracesEachCommandEvenARefusedOne)
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
