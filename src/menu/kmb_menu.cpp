#include "menu/kmb_menu.h"

#include <cstdio>

#include "board/agent_bus.h"
#include "board/counter_agent.h"
#include "board/memory.h"
#include "board/serial_port.h"
#include "board/temperature.h"
#include "diag/input.h"
#include "diag/options.h"
#include "ethernet/loopback.h"
#include "ethernet/phy_access.h"
#include "menu/resets.h"
#include "menu/sequences.h"
#include "menu/top_menu.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr int kMenuExit = 99;

struct MenuTest {
    int number;
    TestFunc test;
};

// Every number that runs a test through the runner; 10, 11 and 20 to 24 are not shown.
constexpr MenuTest kMenuTests[] = {
    {2, serial_port_test},     {3, counter_agent_i2c_test}, {4, agent_i2c_bus_test},   {5, temperature_sensor_test},
    {6, agent_irq_test},       {7, agent_iirq_test},        {8, memory_test},          {9, eth_loopback_test},
    {10, phy_dump_regs},       {11, phy_edit_reg},          {13, watchdog_reset_test}, {14, reset_primary_test},
    {15, reset_secondary_test}, {20, eth_loopback_menu20},  {21, eth_loopback_menu21}, {22, eth_loopback_menu22},
    {23, eth_loopback_menu23}, {24, eth_loopback_menu24},   {70, show_card_info},
};

void print_test_menu()
{
    std::printf("\n\nDiagnostic Test for KMB card\n");
    std::printf("---------------------------------\n");
    std::printf(" 1. Comprehensive test            70. Show KMB information\n");
    std::printf(" 2. serial port test\n");
    std::printf(" 3. Counter agnet i2c test\n");
    std::printf(" 4. Agent i2c bus test\n");
    std::printf(" 5. Temperatue sensor test\n");
    std::printf(" 6. Agent IRQ test\n");
    std::printf(" 7. Agent IIRQ test\n");
    std::printf(" 8. Memory access test\n");
    std::printf(" 9. Ethernet loopback test\n");
    std::printf("13. Watchdog test                 91. Enable/Disable looping\n");
    std::printf("14. Counter agent reset primary   92. Stop/Continue on error\n");
    std::printf("15. Counter agent reset secondary 99. Exit\n");
    std::printf("\n");
}

const char* enabled_word(int32_t flag) { return flag != 0 ? "enabled" : "disabled"; }

void act_on(int selection)
{
    if (selection == 1) {
        run_comprehensive();
        return;
    }
    if (selection == 91) {
        diag_options.loop = !diag_options.loop;
        std::printf("loop is %s\n", enabled_word(diag_options.loop));
        return;
    }
    if (selection == 92) {
        diag_options.stop_on_error = !diag_options.stop_on_error;
        std::printf("stop on error is %s\n", enabled_word(diag_options.stop_on_error));
        return;
    }
    for (const MenuTest& entry : kMenuTests) {
        if (entry.number == selection) {
            run_test(entry.test);
            return;
        }
    }
}

} // namespace

int kmb_test_menu()
{
    int selection = 0;
    char line[MENU_LINE_SIZE];
    while (selection != kMenuExit) {
        print_test_menu();
        std::printf("Select test or feature by number [%d]: ", selection);
        if (os::read_line(line, sizeof line) == nullptr) {
            break; // no operator left: leave as 99 does
        }
        // Enter alone runs the last choice again.
        if (line[0] != '\n') {
            selection = parse_number(line);
        }
        act_on(selection);
    }
    return 0;
}

} // namespace kmb
