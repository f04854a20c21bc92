// The PHY requests as the card's driver takes them, the reset and its wait, and the interactive
// register access, on the simulated card's PHY. (The register dump is menu 10's transcript, its
// socket closed again MenuActions.EveryTestMenuNumberLeavesNoDescriptorOpen's.)
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "diag/options.h"
#include "ethernet/phy_access.h"
#include "os/forwarding_os.h"
#include "os/os.h"
#include "board/printed.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

// Keeps the bytes of every interface request as the driver would see them.
class RequestRecorder : public os::ForwardingOs {
public:
    using ForwardingOs::ForwardingOs;
    int ioctl(int fd, unsigned long request, unsigned long arg) override
    {
        std::vector<unsigned char> bytes(sizeof(ifreq));
        std::memcpy(bytes.data(), reinterpret_cast<const void*>(arg), bytes.size());
        requests.push_back(request);
        records.push_back(bytes);
        return ForwardingOs::ioctl(fd, request, arg);
    }
    std::vector<unsigned long> requests;
    std::vector<std::vector<unsigned char>> records;
};

TEST(PhyRequest, RecordsAreZeroedNamedAndHoldTheirWordsInOrder)
{
    struct Case {
        const char* what;
        bool write;
        int reg;
        uint32_t value;
        unsigned long request;
        uint32_t words[3]; // phy_id, reg_num, val_in
    };
    const Case cases[] = {
        {"read of CDCTRL", false, 0x1B, 0, 0x89F0, {0, 0x1B, 0}},
        {"write of the reset bit", true, 0x00, 0x8000, 0x89F2, {0, 0, 0x8000}},
        {"write of a full word, unmasked", true, 0x04, 0x12345678, 0x89F2, {0, 4, 0x12345678}},
        {"read of a negative register", false, -1, 0, 0x89F0, {0, 0xFFFFFFFF, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimCard card;
        RequestRecorder recorder(card.os());
        os::Os* previous = os::install(&recorder);
        const int sock = os::socket(AF_INET, SOCK_STREAM, 0);
        uint32_t out = 0xDEADBEEF;
        if (c.write) {
            phy_write_reg(sock, c.reg, c.value);
        } else {
            phy_read_reg(sock, c.reg, &out);
        }
        os::close(sock);
        os::install(previous);
        ASSERT_EQ(recorder.records.size(), 1u);
        EXPECT_EQ(recorder.requests[0], c.request);
        const std::vector<unsigned char>& r = recorder.records[0];
        std::vector<unsigned char> expected(sizeof(ifreq), 0);
        std::memcpy(expected.data(), "eth0", 4);
        std::memcpy(expected.data() + 16, c.words, sizeof c.words); // in the card's byte order
        EXPECT_EQ(r, expected);
    }
}

TEST(PhyReset, WaitsForTheResetBitAndGivesUpAfterElevenReads)
{
    struct Case {
        const char* what;
        std::vector<sim::Fault> faults;
        int result;
        int64_t seconds; // card time taken
        size_t bmcr_reads;
    };
    const Case cases[] = {
        {"healthy PHY: the first poll a second later sees it done", {}, 0, 1, 1},
        {"stuck reset: ten polls, then an eleventh that decides nothing", {sim::Fault::PhyResetStuck}, 1, 11, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SimCard card(c.faults);
        const int64_t start = card.card().clock().now_us();
        EXPECT_EQ(phy_reset(), c.result);
        EXPECT_EQ(card.card().clock().now_us() - start, c.seconds * 1'000'000);
        EXPECT_EQ(card.trace_of("phy w 0x0 0x8000").size(), 1u);
        EXPECT_EQ(card.trace_of("phy r 0x0 ").size(), c.bmcr_reads);
        EXPECT_EQ(card.os().open_descriptor_count(), 0);
    }
}

const std::string kRegPrompt = "please type the register #(hex):  ";
const std::string kWritePrompt = "do you want to write to it? ";
const std::string kValuePrompt = "Please enter the value(hex): 0x";

TEST(PhyEdit, InputRules)
{
    struct Case {
        const char* console;
        std::string out;
        std::vector<std::string> writes; // trace lines of PHY writes
    };
    const Case cases[] = {
        {"1b\nn\n", kRegPrompt + "\nreg 0x1b = 0x2\n" + kWritePrompt, {}},
        {"1B\nn\n", kRegPrompt + "\nreg 0x1b = 0x2\n" + kWritePrompt, {}},
        {"0x1b\nn\n", kRegPrompt + "\nreg 0x1b = 0x2\n" + kWritePrompt, {}},
        {"   1b\nn\n", kRegPrompt + "\nreg 0x1b = 0x2\n" + kWritePrompt, {}},
        // 0x20 is accepted; the driver refuses it and val_out stays as zeroed.
        {"20\n\n", kRegPrompt + "\nreg 0x20 = 0x0\n" + kWritePrompt, {}},
        // Above 0x20 the program waits silently for another line.
        {"21\nff\n3\nnope\n", kRegPrompt + "\nreg 0x3 = 0x5c21\n" + kWritePrompt, {}},
        {"zz\nx\n", kRegPrompt + "\nreg 0x0 = 0x3100\n" + kWritePrompt, {}},
        {"-1\nn\n", kRegPrompt + "\nreg 0xffffffff = 0x0\n" + kWritePrompt, {}},
        // The two paged registers print a next-page line; the bit is clear, so only one.
        {"5\nn\n", kRegPrompt + "\nreg 0x5 = 0x41e1\nnext page: 0x41e1\n" + kWritePrompt, {}},
        {"7\nn\n", kRegPrompt + "\nreg 0x7 = 0x2001\nnext page: 0x2001\n" + kWritePrompt, {}},
        {"4\ny\n1e1\n", kRegPrompt + "\nreg 0x4 = 0x1e1\n" + kWritePrompt + kValuePrompt, {"phy w 0x4 0x1e1"}},
        {"4\nY\n0x21\n", kRegPrompt + "\nreg 0x4 = 0x1e1\n" + kWritePrompt + kValuePrompt, {"phy w 0x4 0x21"}},
        {"4\nyes\n-1\n", kRegPrompt + "\nreg 0x4 = 0x1e1\n" + kWritePrompt + kValuePrompt, {"phy w 0x4 0xffffffff"}},
        // The end of input at a prompt ends the access with nothing written.
        {"", kRegPrompt, {}},
        {"4\n", kRegPrompt + "\nreg 0x4 = 0x1e1\n" + kWritePrompt, {}},
        {"4\ny\n", kRegPrompt + "\nreg 0x4 = 0x1e1\n" + kWritePrompt + kValuePrompt, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.console);
        SimCard card;
        card.os().set_console_input(c.console);
        const Printed p = printed([&] { return phy_edit_reg(); });
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(p.out, c.out);
        EXPECT_EQ(card.trace_of("phy w"), c.writes);
        EXPECT_EQ(card.os().open_descriptor_count(), 0);
    }
}

// A next-page bit that stays set (a page written by hand and never sent) keeps the dump reading,
// as far as its bound of 64 pages, and a Ctrl-C ends it at once. (The driver's word comes back
// sign-extended from 16 bits.)
TEST(PhyEdit, NextPagesAreReadWhileTheBitStaysSet)
{
    std::string pages;
    for (int i = 0; i < 64; ++i) {
        pages += "next page: 0xffff8001\n";
    }
    const struct {
        int interrupted;
        std::string out;
    } cases[] = {
        {0, kRegPrompt + "\nreg 0x7 = 0xffff8001\n" + pages + kWritePrompt},
        {1, kRegPrompt + "\nreg 0x7 = 0xffff8001\nnext page: 0xffff8001\n" + kWritePrompt},
    };
    for (const auto& c : cases) {
        SimCard card;
        card.os().set_console_input("7\ny\n8001\n");
        EXPECT_EQ(printed([] { return phy_edit_reg(); }).result, 0);
        card.os().set_console_input("7\nn\n");
        diag_options.interrupted = c.interrupted;
        const Printed p = printed([] { return phy_edit_reg(); });
        diag_options.interrupted = 0;
        EXPECT_EQ(p.out, c.out) << c.interrupted;
    }
}

TEST(PhyEdit, ResetBitWrittenByHandResetsThePhyWithoutWaiting)
{
    SimCard card;
    const int sock = os::socket(AF_INET, SOCK_STREAM, 0);
    phy_write_reg(sock, 0x00, 0x0100); // forced 10 Mb/s full duplex
    os::sleep(1);                       // trained
    card.os().set_console_input("0\ny\n8000\n");
    CapturedOutput capture;
    const int64_t start = card.card().clock().now_us();
    EXPECT_EQ(phy_edit_reg(), 0);
    capture.stop();
    EXPECT_EQ(card.card().clock().now_us(), start);
    uint32_t bmcr = 0;
    phy_read_reg(sock, 0x00, &bmcr);
    EXPECT_EQ(bmcr, 0xFFFFB100u); // in reset, back at its defaults
    os::sleep(1);
    phy_read_reg(sock, 0x00, &bmcr);
    EXPECT_EQ(bmcr, 0x3100u);
    os::close(sock);
}

} // namespace
} // namespace kmb::test
