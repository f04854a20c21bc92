// The boot loader's environment file of the simulated card, in what no diagnostic test reaches:
// values that would break the file, its exact form across a restart, and what a damaged or
// hand-edited file leaves. (A new card's identity shows in every transcript and fw_printenv.)
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/userland/boot_env.h"
#include "support/sim_card.h"
#include "support/text_file.h"

namespace kmb::sim {
namespace {

using test::read_text;
using test::write_text;

using Vars = std::vector<std::pair<std::string, std::string>>;

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
    env.set("ethaddr", "02:00:4b:4d:42"); // eth0 takes its MAC address from it
    EXPECT_FALSE(env.set("huge", std::string(BootEnv::kCapacity, 'v'))) << "more than the sector holds";
    EXPECT_EQ(env.all(), expected);
    EXPECT_EQ(env.get("bootdelay"), "3");
    EXPECT_EQ(env.get("serial#"), std::nullopt);
    EXPECT_EQ(env.get("rev"), std::nullopt); // '#' is part of the name
}

TEST(BootEnv, SurvivesARestartAsNameValueLinesInOrder)
{
    test::TempDir dir;
    const std::filesystem::path file = dir.path() / "fw_env";
    write_text(file, "rev#=A0\nbootdelay=3\n");
    {
        BootEnv env(file);
        env.set("rev#", "03");
        env.unset("bootdelay");
        env.set("odd#name#", "a=b=c");
        env.set("empty", "");
        env.set("crlf", "A0\r");
        ASSERT_TRUE(env.save());
    }
    EXPECT_EQ(read_text(file), "rev#=03\nodd#name#=a=b=c\nempty=\ncrlf=A0\r\n");
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

TEST(BootEnv, WhatAnEditorLeavesIsRead)
{
    const std::pair<std::string, Vars> cases[] = {
        {"a=1\nb=2", {{"a", "1"}, {"b", "2"}}},       // last line without its line end
        {"a=1\na=2\nb=3\n", {{"a", "2"}, {"b", "3"}}}, // a later line wins, in the first place
        {"\n\n\na=1\n\n", {{"a", "1"}}},
        {"", {}}, // an erased environment is not a new card
    };
    test::TempDir dir;
    const std::filesystem::path file = dir.path() / "fw_env";
    for (const auto& [text, vars] : cases) {
        write_text(file, text);
        EXPECT_EQ(BootEnv(file).all(), vars) << text;
    }
}

TEST(BootEnv, ADamagedFileIsAnErrorNamingItNeverTheDefaults)
{
    std::string full; // variables of 100 bytes each, one more than the sector holds
    for (std::size_t i = 0; full.size() <= BootEnv::kCapacity; ++i) {
        full += "v" + std::to_string(1000 + i) + "=" + std::string(94, 'x') + "\n";
    }
    const std::pair<std::string, const char*> cases[] = {
        {"part#=1\nno equals sign\nrev#=B2\n", "line 2, is not NAME=VALUE"},
        {"a=1\n=novalue\n", "line 2, is not NAME=VALUE"},
        {"a=1\n" + std::string(9000, 'x') + "=long\n", "larger than the card's environment of 8188 bytes"},
        {full, "larger than the card's environment"},
        {std::string("a=1\nb=\0\n", 9), "line 2, holds a NUL byte"},
        // The driver would give eth0 an address nobody chose: the stored ethaddr is refused.
        {"part#=KMB-P0001\nethaddr=garbage\n", "line 2, is no address the card's Ethernet driver takes"},
        {"ethaddr=03:00:4b:4d:42:01\n", "line 1, is no address the card's Ethernet driver takes"},
    };
    test::TempDir dir;
    const std::filesystem::path file = dir.path() / "fw_env";
    for (const auto& [text, why] : cases) {
        write_text(file, text);
        try {
            const BootEnv env(file);
            ADD_FAILURE() << "read: " << text.substr(0, 40);
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find("'" + file.string() + "'"), std::string::npos) << e.what();
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
        EXPECT_EQ(read_text(file), text) << "the stored file stays as it was";
    }
}

} // namespace
} // namespace kmb::sim
