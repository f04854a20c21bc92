// What a run writes for the engineer: the terminal's lines with the spinner folded, the
// verdict lines picked from them, the report's JSON and the waveform's I2C lines, which a
// viewer's decoder must read back as the bytes that went over the bus.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sim/app/run_report.h"
#include "sim/app/terminal_lines.h"
#include "sim/app/vcd_writer.h"
#include "support/capture.h"

namespace kmb::sim {
namespace {

std::vector<std::string> fold(const std::string& bytes)
{
    std::vector<std::string> lines;
    TerminalLines terminal([&](int64_t, std::string_view line) { lines.emplace_back(line); });
    terminal.feed(0, bytes);
    terminal.finish(0);
    return lines;
}

TEST(SimTerminalLines, ShowsWhatATerminalShows)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"the spinner's steps fold into the label", "|\b/\b-\b\\\bSerial port test ....PASSED\n",
         {"Serial port test ....PASSED"}},
        {"a step left under a shorter text shows", "Wait |\b", {"Wait |"}},
        {"a carriage return overwrites from the start", "abcdef\rXY\n", {"XYcdef"}},
        {"a backspace at the start stays there", "\b\bab\n", {"ab"}},
        {"tabs go to the next stop of eight", "a\tb\n", {"a       b"}},
        {"bells and escapes show nothing", "a\a\x1b" "b\n", {"ab"}},
        {"an empty line is a line", "\n\n", {"", ""}},
        {"a prompt not ended is kept", "1) Exit\nChoice: ", {"1) Exit", "Choice: "}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fold(c.bytes), c.lines) << c.what;
    }
    const auto long_line = fold(std::string(TerminalLines::kMaxLine + 10, 'x') + "y\n");
    ASSERT_EQ(long_line.size(), 1u);
    EXPECT_EQ(long_line[0].size(), TerminalLines::kMaxLine);
    EXPECT_EQ(long_line[0].back(), 'y');
}

TEST(SimRunReport, PicksTheVerdictLinesWithTheirTests)
{
    struct Case {
        const char* line;
        const char* test; // nullptr: not a verdict line
        bool passed;
    };
    const Case cases[] = {
        {"Agent IRQ test .........................PASSED", "Agent IRQ test", true},
        {"Temperature test .......................FAILED", "Temperature test", false},
        {"Ethernet loopback 100 full external ....FAILED", "Ethernet loopback 100 full external", false},
        {"FAILED", nullptr, false},
        {"Counter agent test FAILED", nullptr, false},
        {"........PASSED", nullptr, false},
        {"PASSED tests: 3", nullptr, false},
        {"Agent IRQ test .........................PASSED ", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto verdict = verdict_of(c.line, 1234);
        ASSERT_EQ(verdict.has_value(), c.test != nullptr);
        if (verdict) {
            EXPECT_EQ(verdict->test, c.test);
            EXPECT_EQ(verdict->passed, c.passed);
            EXPECT_EQ(verdict->us, 1234);
        }
    }
}

TEST(SimRunReport, TheRecordAsJson)
{
    // The console's report test runs a card that fails; what no run there reaches: a passed
    // verdict, a name that is not UTF-8, a window that ends, and a fault that never fired.
    RunRecord r;
    r.version = "9.9.9";
    r.start_time = 1796544000; // 2026-12-06 08:00:00 UTC
    r.card_us = 42'500'001;
    r.verdicts = {{"Agent IRQ test", true, 1'000'000}, {"Bad \xff name", false, 2'000'000}};
    r.pass_lamp = true;
    r.faults = {{Fault::IoxNack, std::nullopt, true, 1'500'000},
                {Fault::EthDmaCorrupt, FaultWindow{2'000'000, 5'000'000}, false, -1},
                {Fault::SerialRing, FaultWindow{3'000'000, FaultWindow::kForever}, true, 3'000'000}};
    const auto j = nlohmann::json::parse(run_report_json(r));
    EXPECT_EQ(j["start_time_utc"], "2026-12-06T08:00:00Z");
    EXPECT_DOUBLE_EQ(j["card_seconds"].get<double>(), 42.500001);
    EXPECT_EQ(j["verdicts"][0]["verdict"], "PASSED");
    EXPECT_EQ(j["verdicts"][1]["test"], "Bad \xEF\xBF\xBD name"); // replaced, not refused
    EXPECT_EQ(j["lamps"]["pass"], true);
    EXPECT_EQ(j["faults"][0]["from"], 0.0);
    EXPECT_TRUE(j["faults"][0]["to"].is_null());
    EXPECT_DOUBLE_EQ(j["faults"][0]["first_fired"].get<double>(), 1.5);
    EXPECT_DOUBLE_EQ(j["faults"][1]["to"].get<double>(), 5.0);
    EXPECT_TRUE(j["faults"][1]["first_fired"].is_null());
    EXPECT_TRUE(j["faults"][2]["to"].is_null());
}

// A viewer's side of the dump: the variables by name, then every change in time order.
struct Dump {
    std::map<std::string, std::string> code_of; // "card.i2c.scl" -> "!"
    struct Change {
        int64_t us;
        std::string code;
        std::string value;
    };
    std::vector<Change> changes;
    std::string error;
};

Dump read_dump(const std::string& text)
{
    Dump d;
    std::istringstream in(text);
    std::vector<std::string> scopes;
    std::string word;
    int64_t now = -1;
    bool defined = false;
    while (in >> word) {
        if (word == "$scope") {
            std::string kind, name;
            in >> kind >> name >> word;
            scopes.push_back(name);
        } else if (word == "$upscope") {
            in >> word;
            scopes.pop_back();
        } else if (word == "$var") {
            std::string kind, width, code, name;
            in >> kind >> width >> code >> name;
            std::string path;
            for (const std::string& s : scopes) {
                path += s + ".";
            }
            d.code_of[path + name] = code;
            while (in >> word && word != "$end") {
            }
        } else if (word == "$enddefinitions") {
            in >> word;
            defined = true;
        } else if (word == "$dumpvars" || word == "$end") {
        } else if (word[0] == '$') {
            while (in >> word && word != "$end") {
            }
        } else if (word[0] == '#') {
            const int64_t t = std::stoll(word.substr(1));
            if (t <= now) {
                d.error = "time goes back at " + word;
            }
            now = t;
        } else if (defined && word[0] == 'b') {
            std::string code;
            in >> code;
            if (word != "bx") { // the dump's first values are unknown
                d.changes.push_back({now, code, word.substr(1)});
            }
        } else if (defined && word[0] != 'x') {
            d.changes.push_back({now, word.substr(1), word.substr(0, 1)});
        }
    }
    return d;
}

// An I2C decoder as a logic analyser's: start and stop from SDA while SCL is high, a bit on
// every rising SCL edge, nine bits a byte. Gives "S 30 0 01 0 3a 0 P" (byte, then its ACK bit).
std::string decode_i2c(const Dump& d)
{
    const std::string scl = d.code_of.at("card.i2c.scl");
    const std::string sda = d.code_of.at("card.i2c.sda");
    char scl_level = 'x', sda_level = 'x';
    std::string out;
    int bits = 0;
    unsigned byte = 0;
    for (const Dump::Change& c : d.changes) {
        if (c.code == sda) {
            if (scl_level == '1' && sda_level == '1' && c.value == "0") {
                out += "S";
                bits = 0;
                byte = 0;
            } else if (scl_level == '1' && sda_level == '0' && c.value == "1") {
                out += " P";
            }
            sda_level = c.value[0];
        } else if (c.code == scl) {
            if (scl_level == '0' && c.value == "1") {
                if (bits < 8) {
                    byte = (byte << 1) | (sda_level == '1' ? 1u : 0u);
                    ++bits;
                } else {
                    char text[16];
                    std::snprintf(text, sizeof text, " %02x %c", byte, sda_level);
                    out += text;
                    bits = 0;
                    byte = 0;
                }
            }
            scl_level = c.value[0];
        }
    }
    return out;
}

std::string dump_of(const std::function<void(VcdWriter&)>& events)
{
    test::MemoryFile memory;
    {
        VcdWriter vcd(memory.file(), 1796544000);
        events(vcd);
    }
    return memory.text();
}

TEST(SimVcd, AViewersDecoderReadsTheTransfersBackAtTheBusSpeed)
{
    struct Case {
        const char* what;
        I2cTransfer transfer;
        std::vector<uint8_t> bytes;
        const char* decoded;
    };
    const uint8_t write_bytes[] = {0x01, 0x3a};
    const uint8_t read_bytes[] = {0x01, 0x90};
    const Case cases[] = {
        {"a register write, acknowledged", {1000, 0x18, false, true, true, write_bytes, 2}, {}, "S 30 0 01 0 3a 0 P"},
        {"a word read: the master does not acknowledge the last byte", {1000, 0x48, true, true, true, read_bytes, 2}, {},
         "S 91 0 01 0 90 1 P"},
        {"an address nobody takes", {1000, 0x20, false, false, false, nullptr, 0}, {}, "S 40 1 P"},
        {"a write refused at its data", {1000, 0x57, false, true, false, write_bytes, 1}, {}, "S ae 0 01 1 P"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Dump d = read_dump(dump_of([&](VcdWriter& vcd) { vcd.i2c(c.transfer); }));
        EXPECT_EQ(d.error, "");
        EXPECT_EQ(decode_i2c(d), c.decoded);
        // The transfer takes what the bus's clock charges for it: nine 10 us clocks a byte and 10 us for
        // start and stop.
        const int64_t last = d.changes.back().us;
        EXPECT_EQ(last - c.transfer.start_us, static_cast<int64_t>((c.transfer.count + 1) * 90 + 10));
    }
}

TEST(SimVcd, LinesChangeAtTheirCardTimeInOrderEvenWhenTheBusTellsLate)
{
    const uint8_t bytes[] = {0x01, 0x3a};
    const std::string text = dump_of([&](VcdWriter& vcd) {
        vcd.wire(0, Wire::FailLamp, 0);
        vcd.wire(0, Wire::IoxPins, 0x38);
        // The lamp lit at the end of the write that lit it; the bus tells the write after.
        vcd.wire(1280, Wire::FailLamp, 1);
        vcd.i2c({1000, 0x18, false, true, true, bytes, 2});
        vcd.wire(5000, Wire::FailLamp, 1); // no change: nothing written
    });
    EXPECT_NE(text.find("$timescale 1 us $end"), std::string::npos);
    const Dump d = read_dump(text);
    EXPECT_EQ(d.error, "");
    EXPECT_EQ(decode_i2c(d), "S 30 0 01 0 3a 0 P");
    const std::string lamp = d.code_of.at("fixture.lamp_fail");
    const std::string pins = d.code_of.at("fixture.iox.pins");
    std::vector<std::pair<int64_t, std::string>> lamp_changes;
    for (const auto& c : d.changes) {
        if (c.code == lamp) {
            lamp_changes.emplace_back(c.us, c.value);
        }
        if (c.code == pins) {
            EXPECT_EQ(c.value, "00111000");
        }
    }
    EXPECT_EQ(lamp_changes, (std::vector<std::pair<int64_t, std::string>>{{0, "0"}, {1280, "1"}}));
}

} // namespace
} // namespace kmb::sim
