// The Ethernet entries of the KMB test menu as the operator sees them on the simulated card.
#include <gtest/gtest.h>

#include "console/operator_texts.h"
#include "console/transcript.h"

namespace kmb::test {
namespace {

using EthernetTranscript = SimTranscript;

const std::string kPhyDump = "BMCR:  0x3100\n"
                             "BMSR:  0x786d\n"
                             "PHYIDR1:  0x2f4b\n"
                             "PHYIDR2:  0x5c21\n"
                             "ANAR:  0x1e1\n"
                             "ANLPAR:  0x41e1\n"
                             "ANER:  0x4\n"
                             "ANNPTR:  0x2001\n"
                             "PHYSTS:  0x15\n"
                             "FCSCR:  0x0\n"
                             "RECR:  0x0\n"
                             "PCSR:  0x100\n"
                             "PHYCTRL:  0xffff8c01\n"
                             "10BTSCR:  0x804\n"
                             "CDCTRL:  0x2\n";

TEST_F(EthernetTranscript, HiddenTenDumpsThePhyAndElevenEditsIt)
{
    // 11 writes forced 10 Mb/s half duplex without negotiation; Enter runs 11 again, whose
    // register line shows it, and 10 then dumps the PHY as it stands.
    const SimRun r = run("kmb\n10\n11\n0\ny\n0\n\n0\nn\n10\n99\nexit\n");
    const std::string after_write = "BMCR:  0x0\nBMSR:  0x784d\n";
    EXPECT_TRUE(transcript_is(
        r.out, top_cycle() + kmb_cycle(0) + kPhyDump + kmb_cycle(10) +
                   "please type the register #(hex):  \nreg 0x0 = 0x3100\ndo you want to write to it? "
                   "Please enter the value(hex): 0x" +
                   kmb_cycle(11) + "please type the register #(hex):  \nreg 0x0 = 0x0\ndo you want to write to it? " +
                   kmb_cycle(11) + after_write + kPhyDump.substr(kPhyDump.find("PHYIDR1"), kPhyDump.find("ANLPAR") - kPhyDump.find("PHYIDR1")) +
                   "ANLPAR:  0x0\nANER:  0x4\nANNPTR:  0x2001\nPHYSTS:  0x3\n" +
                   kPhyDump.substr(kPhyDump.find("FCSCR")) + kmb_cycle(10) + top_cycle()));
    EXPECT_EQ(r.err, "");
}

} // namespace
} // namespace kmb::test
