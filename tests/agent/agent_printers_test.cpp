// The host agent's texts as the operator and the log get them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "agent/agent_protocol.h"
#include "ipc/sel.h"
#include "support/capture.h"
#include "support/sim_card.h"

namespace kmb::test {
namespace {

TEST(AgentPrinters, ConsoleTexts)
{
    struct Case {
        const char* what;
        std::function<void()> print;
        std::string out;
    };
    const Case cases[] = {
        {"error 5", [] { agent_print_error(5); }, "Invalid response data. "},
        {"error 12", [] { agent_print_error(12); }, "Command checksum error. "},
        {"error 13", [] { agent_print_error(13); }, "Unknown error 0x0d. "},
        {"status 0", [] { agent_print_cmd_status(0); }, ""},
        {"status 2", [] { agent_print_cmd_status(2); }, "Command status 0x02: Illegal command."},
        {"status 7", [] { agent_print_cmd_status(7); }, "Command status 0x07: Unknown."},
        {"nmi 0", [] { agent_print_nmi_src(0); }, "No NMI\n"},
        {"nmi 5", [] { agent_print_nmi_src(0x05); }, "Appliance\nKMB\n"},
        {"nmi f", [] { agent_print_nmi_src(0x0F); }, "Appliance\nWatchdog\nKMB\nFP button\n"},
        {"valdor reg", [] { agent_print_info_reg(0x86, 0, 0xFF); }, "Info reg 0: 0xff\nDon't know how to decode\n"},
        {"tamber reg 1", [] { agent_print_info_reg(0x99, 1, 0x02); },
         "Info reg 1: 0x02\n   AGENT_JMPR_L: 0\n   POST_CLK    : 1\n"},
        {"tamber reg 0", [] { agent_print_info_reg(0x99, 0, 0x81); },
         "Info reg 0: 0x81\n   VID_OK      : 1\n   DDR_VDDID   : 0\n   SKT2_OCC_L  : 0\n   SKT1_OCC_L  : 0\n"
         "   VRM2_PRES_L : 0\n   VRM1_PRES_L : 0\n   KMB_PRES_L  : 0\n   WDT_CLEAR_L : 1\n"},
        {"tamber reg 2", [] { agent_print_info_reg(0x99, 2, 0); }, "Info reg 2: 0x00\nInvalid register\n"},
    };
    for (const Case& c : cases) {
        CapturedOutput printed;
        c.print();
        printed.stop();
        EXPECT_EQ(printed.out(), c.out) << c.what;
    }
}

TEST(AgentPrinters, IdNamesAreCutToTheBuffer)
{
    struct Case {
        int id;
        int size;
        std::string name;
    };
    for (const Case& c : {Case{0x99, 32, "Tamber"}, Case{0x86, 32, "Valdor"}, Case{0x42, 10, "Unknown i"},
                          Case{0x42, 32, "Unknown id 0x42"}, Case{0x99, 4, "Tam"}}) {
        char buf[32];
        EXPECT_EQ(agent_id_name(c.id, buf, c.size), static_cast<int>(c.name.size()));
        EXPECT_EQ(std::string(buf), c.name);
    }
    char name[16];
    EXPECT_EQ(agent_cmd_name(0x2E, agent_builtin_cmds(), name, sizeof name), 0);
    EXPECT_STREQ(name, "rd_cmd_stat");
    agent_cmd_name(0x99, agent_builtin_cmds(), name, sizeof name);
    EXPECT_STREQ(name, "unknown");
}

TEST(AgentPrinters, LogTexts)
{
    SimCard card;
    const uint8_t info[6] = {1, 0x99, 0x23, 0x10, 0x40, 2};
    SelRecord r{1796544000, 2, 1, {0x99, 0, 0, 0}};
    const uint16_t rec = 0x8004;
    std::memcpy(r.event_data + 2, &rec, 2);
    AgentEvent table[3] = {};
    std::memcpy(table, agent_tamber_events() + 3, sizeof(AgentEvent));
    table[0].current = 1;
    std::memcpy(table + 1, agent_tamber_events() + 30, sizeof(AgentEvent));
    card.card().syslog().clear();
    agent_print_info(info);
    agent_print_sel_record(&r);
    agent_print_event_list(table);
    agent_print_event_list(nullptr);
    std::vector<std::string> lines = card.syslog_lines();
    ASSERT_EQ(lines.size(), 8u + 6u + 3u + 1u);
    lines.erase(lines.begin()); // the process ID and an address
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "7 \nAgent info:\n\n", "7 Info record format: 0x01\n\n", "7 Agent ID: 0x99\n\n",
                         "7 Agent revision: 0x23\n\n", "7 FIFO depth max: 0x10\n\n", "7 Ring depth: 0x40\n\n",
                         "7 PS count: 0x02\n\n", "7 \nAgent sel log:\n\n", "7 Timestamp: 1796544000\n\n",
                         "7 Severity: 2\n\n", "7 Type: 1\n\n", "7 Agent ID: 0x99\n\n", "7 Event rec: 0x8004\n\n",
                         "7 EventID Sev A/D Desc\n\n", "7 0x04    2   1   PS1_AC_OK\n\n",
                         "7 0xffe    3   0   L2_WD_TIMEOUT\n\n", "7 EventID Sev A/D Desc\n\n"}));
}

} // namespace
} // namespace kmb::test
