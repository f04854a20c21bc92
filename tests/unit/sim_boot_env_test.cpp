// The boot loader's environment of the simulated card: what a new card holds, what survives a
// restart, and what a damaged file leaves.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/boot_env.h"
#include "support/sim_card.h"

namespace kmb::sim {
namespace {

using Vars = std::vector<std::pair<std::string, std::string>>;

void write_file(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BootEnv, NewCardIsAProductionBoardWithItsIdentity)
{
    test::TempDir dir;
    const BootEnv env(dir.path() / "fw_env");
    std::vector<std::string> names;
    for (const auto& [name, value] : env.all()) {
        names.push_back(name);
        EXPECT_FALSE(value.empty()) << name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"part#", "serial#", "rev#", "ethaddr"}));
    // The diagnostic warns of a pre-production board unless the revision begins with a letter.
    const std::string rev = env.get("rev#").value_or("");
    ASSERT_EQ(rev.size(), 2u);
    EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(rev[0])));
    const std::string mac = env.get("ethaddr").value_or("");
    ASSERT_EQ(mac.size(), 17u);
    for (std::size_t i = 0; i < mac.size(); ++i) {
        EXPECT_TRUE(i % 3 == 2 ? mac[i] == ':' : std::isxdigit(static_cast<unsigned char>(mac[i])) != 0) << mac;
    }
    // Loading writes nothing: the card only changes its flash when asked to.
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "fw_env"));
}

TEST(BootEnv, SetUnsetAndWhatWouldBreakTheFile)
{
    test::TempDir dir;
    BootEnv env(dir.path() / "fw_env");
    Vars expected = env.all();
    env.set("part#", "KMB-P0002"); // in place
    expected[0].second = "KMB-P0002";
    env.set("bootdelay", "3"); // at the end
    expected.emplace_back("bootdelay", "3");
    env.unset("serial#");
    expected.erase(expected.begin() + 1);
    // Each of these would forge or break a line of the file: the card refuses them.
    env.set("rev#", "B1\nserial#=forged");
    env.set("", "x");
    env.set("a=b", "c");
    env.set("multi\nline", "x");
    env.set("huge", std::string(5000, 'v'));
    EXPECT_EQ(env.all(), expected);
    EXPECT_EQ(env.get("bootdelay"), "3");
    EXPECT_EQ(env.get("serial#"), std::nullopt);
    EXPECT_EQ(env.get("rev"), std::nullopt); // '#' is part of the name
}

TEST(BootEnv, SurvivesARestartAsNameValueLinesInOrder)
{
    test::TempDir dir;
    const std::filesystem::path file = dir.path() / "fw_env";
    write_file(file, "rev#=A0\nbootdelay=3\n");
    {
        BootEnv env(file);
        env.set("rev#", "03");
        env.unset("bootdelay");
        env.set("odd#name#", "a=b=c");
        env.set("empty", "");
        env.set("crlf", "A0\r");
        ASSERT_TRUE(env.save());
    }
    EXPECT_EQ(read_file(file), "rev#=03\nodd#name#=a=b=c\nempty=\ncrlf=A0\r\n");
    const Vars expected = {{"rev#", "03"}, {"odd#name#", "a=b=c"}, {"empty", ""}, {"crlf", "A0\r"}};
    EXPECT_EQ(BootEnv(file).all(), expected);
    // The save leaves no temporary file behind.
    std::vector<std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        entries.push_back(e.path().filename().string());
    }
    EXPECT_EQ(entries, std::vector<std::string>{"fw_env"});
}

TEST(BootEnv, SaveIntoAMissingFolderFailsCleanly)
{
    test::TempDir dir;
    const BootEnv env(dir.path() / "gone" / "fw_env");
    EXPECT_FALSE(env.save());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "gone"));
}

TEST(BootEnv, DamagedFileKeepsWhatIsReadable)
{
    const std::pair<std::string, Vars> cases[] = {
        {"part#=1\nno equals sign\n=novalue\nrev#=B2\n", {{"part#", "1"}, {"rev#", "B2"}}},
        {"a=1\n" + std::string(5000, 'x') + "=long\nb=2\n", {{"a", "1"}, {"b", "2"}}},
        {"a=1\nb=2", {{"a", "1"}, {"b", "2"}}},       // last line without its line end
        {"a=1\na=2\nb=3\n", {{"a", "2"}, {"b", "3"}}}, // a later line wins, in the first place
        {"\n\n\na=1\n\n", {{"a", "1"}}},
        {"", {}}, // an erased environment is not a new card
    };
    test::TempDir dir;
    const std::filesystem::path file = dir.path() / "fw_env";
    for (const auto& [text, vars] : cases) {
        write_file(file, text);
        EXPECT_EQ(BootEnv(file).all(), vars) << text.substr(0, 40);
    }
    // Only a flash sector's worth is read of a file far larger than any environment.
    std::string huge;
    for (int i = 0; i < 100'000; ++i) {
        huge.append("v").append(std::to_string(i)).append("=1\n");
    }
    write_file(file, huge);
    const BootEnv env(file);
    EXPECT_EQ(env.get("v0"), "1");
    EXPECT_EQ(env.get("v99999"), std::nullopt);
    EXPECT_LE(env.all().size(), 1024u);
}

} // namespace
} // namespace kmb::sim
