// The boot loader's environment file of the simulated card, in what no diagnostic test reaches:
// values that would break the file, its exact form across a restart, and what a hand-edited file
// leaves. (A new card's identity shows in every transcript; a damaged file is the state folder
// test's.)
#include <gtest/gtest.h>

#include <filesystem>
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
    EXPECT_FALSE(BootEnv(dir.path() / "gone" / "fw_env").save());
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

} // namespace
} // namespace kmb::sim
