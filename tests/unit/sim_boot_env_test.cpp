// The boot loader's environment of the simulated card: what a new card holds, what survives a
// restart, and what a damaged file leaves.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/boot_env.h"

namespace kmb::sim {
namespace {

using Vars = std::vector<std::pair<std::string, std::string>>;

class TempDir {
public:
    TempDir()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/kmb-env-XXXXXX";
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

void write_file(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string read_file(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BootEnv, NewCardIsAProductionBoardWithItsIdentity)
{
    TempDir dir;
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
        if (i % 3 == 2) {
            EXPECT_EQ(mac[i], ':') << mac;
        } else {
            EXPECT_TRUE(std::isxdigit(static_cast<unsigned char>(mac[i]))) << mac;
        }
    }
    // Loading writes nothing: the card only changes its flash when asked to.
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "fw_env"));
}

TEST(BootEnv, SetReplacesInPlaceAndAppendsNewNames)
{
    TempDir dir;
    BootEnv env(dir.path() / "fw_env");
    env.set("rev#", "03");
    env.set("bootdelay", "3");
    env.set("part#", "30R5895");
    const Vars expected = {{"part#", "30R5895"},
                           {"serial#", "KM6A0001234"},
                           {"rev#", "03"},
                           {"ethaddr", "00:09:6b:4e:12:34"},
                           {"bootdelay", "3"}};
    EXPECT_EQ(env.all(), expected);
    EXPECT_EQ(env.get("bootdelay"), "3");
    EXPECT_EQ(env.get("nope"), std::nullopt);
    EXPECT_EQ(env.get("rev"), std::nullopt); // '#' is part of the name
}

TEST(BootEnv, RefusesWhatWouldBreakTheFile)
{
    TempDir dir;
    BootEnv env(dir.path() / "fw_env");
    const Vars before = env.all();
    env.set("rev#", "B1\nserial#=forged");
    env.set("", "x");
    env.set("a=b", "c");
    env.set("multi\nline", "x");
    env.set("huge", std::string(5000, 'v'));
    EXPECT_EQ(env.all(), before);
}

TEST(BootEnv, SurvivesARestartInOrder)
{
    TempDir dir;
    const std::filesystem::path file = dir.path() / "fw_env";
    {
        BootEnv env(file);
        env.set("rev#", "03");
        env.set("odd#name#", "a=b=c");
        env.set("empty", "");
        env.set("crlf", "A0\r");
        ASSERT_TRUE(env.save());
    }
    const BootEnv again(file);
    const Vars expected = {{"part#", "30R5894"}, {"serial#", "KM6A0001234"}, {"rev#", "03"},
                           {"ethaddr", "00:09:6b:4e:12:34"}, {"odd#name#", "a=b=c"}, {"empty", ""},
                           {"crlf", "A0\r"}};
    EXPECT_EQ(again.all(), expected);
    // The save leaves no temporary file behind.
    std::vector<std::string> entries;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        entries.push_back(e.path().filename().string());
    }
    EXPECT_EQ(entries, std::vector<std::string>{"fw_env"});
}

TEST(BootEnv, SaveIntoAMissingFolderFailsCleanly)
{
    TempDir dir;
    const BootEnv env(dir.path() / "gone" / "fw_env");
    EXPECT_FALSE(env.save());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "gone"));
}

TEST(BootEnv, DamagedFileKeepsWhatIsReadable)
{
    struct Damaged {
        std::string text;
        Vars expected;
    };
    const Damaged cases[] = {
        {"part#=1\nno equals sign\n=novalue\nrev#=B2\n", {{"part#", "1"}, {"rev#", "B2"}}},
        {"a=1\n" + std::string(5000, 'x') + "=long\nb=2\n", {{"a", "1"}, {"b", "2"}}},
        {"a=1\nb=2", {{"a", "1"}, {"b", "2"}}},           // last line without its line end
        {"a=1\na=2\nb=3\n", {{"a", "2"}, {"b", "3"}}},     // a later line wins, in the first place
        {"\n\n\na=1\n\n", {{"a", "1"}}},
        {"", {}},                                          // an erased environment is not a new card
    };
    TempDir dir;
    for (const Damaged& c : cases) {
        write_file(dir.path() / "fw_env", c.text);
        const BootEnv env(dir.path() / "fw_env");
        EXPECT_EQ(env.all(), c.expected) << c.text.substr(0, 40);
    }
}

TEST(BootEnv, ReadsOnlyASensibleAmount)
{
    TempDir dir;
    std::string text;
    for (int i = 0; i < 100'000; ++i) {
        text += "v" + std::to_string(i) + "=1\n";
    }
    write_file(dir.path() / "fw_env", text);
    const BootEnv env(dir.path() / "fw_env");
    EXPECT_EQ(env.get("v0"), "1");
    EXPECT_EQ(env.get("v99999"), std::nullopt);
    EXPECT_LE(env.all().size(), 1024u);
}

TEST(BootEnv, SavedFileIsNameValueLines)
{
    TempDir dir;
    BootEnv env(dir.path() / "fw_env");
    env.set("rev#", "03");
    ASSERT_TRUE(env.save());
    EXPECT_EQ(read_file(dir.path() / "fw_env"),
              "part#=30R5894\nserial#=KM6A0001234\nrev#=03\nethaddr=00:09:6b:4e:12:34\n");
}

} // namespace
} // namespace kmb::sim
