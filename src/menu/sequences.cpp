#include "menu/sequences.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "board/agent_bus.h"
#include "board/counter_agent.h"
#include "board/memory.h"
#include "board/serial_port.h"
#include "board/temperature.h"
#include "diag/input.h"
#include "diag/options.h"
#include "diag/result_line.h"
#include "ethernet/loopback.h"
#include "menu/top_menu.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr int kEssDefaultPasses = 60;
constexpr unsigned kEssPassGapSeconds = 2;

} // namespace

int comprehensive_test()
{
    int sum = 0;
    sum += serial_port_test();
    sum += counter_agent_i2c_test();
    // An ESS run cycles the chamber's temperature: only the reading is of interest there.
    sum += (diag_options.mode & MODE_ESS) != 0 ? temperature_reading_check() : temperature_sensor_test();
    sum += agent_i2c_bus_test();
    sum += memory_test();
    sum += eth_loopback_test();
    sum += agent_irq_test();
    sum += agent_iirq_test();
    report_result("Comprehensive KMB test..................", sum);
    return sum;
}

int run_comprehensive()
{
    int result;
    while (true) {
        std::printf("\nPerforming comprehensive test on KMB card\n");
        result = comprehensive_test();
        if (result != 0 && diag_options.stop_on_error == 1) {
            diag_options.count = 0;
            break;
        }
        if (diag_options.count != 0) {
            // The card's 32-bit count wraps below its most negative value instead of
            // overflowing: a negative count runs on until Ctrl-C.
            diag_options.count = static_cast<int32_t>(static_cast<uint32_t>(diag_options.count) - 1u);
            if (diag_options.count == 0) {
                diag_options.interrupted = 1;
            }
        }
        if (diag_options.loop != 1 || diag_options.interrupted != 0) {
            break;
        }
    }
    diag_options.interrupted = 0;
    diag_options.count = 0;
    return result;
}

void run_fvt()
{
    if ((diag_options.mode & MODE_FACTORY) == 0) {
        std::printf("This option is available only at the Factory.\n");
        return;
    }
    const int result = comprehensive_test();
    std::printf("\n\n");
    print_current_date();
    if (result != 0) {
        print_failed_banner();
    }
}

void run_ess()
{
    print_current_date();
    if ((diag_options.mode & MODE_MANUFACTURING) == 0) {
        std::printf("This option is available only to Manufacturing.\n");
        return;
    }
    diag_options.mode |= MODE_ESS;
    int failed = 0;
    std::printf("Enter the loop count - ");
    char line[MENU_LINE_SIZE];
    const char* answer = os::read_line(line, sizeof line);
    int passes;
    if (answer != nullptr && line[0] == '\n') {
        passes = kEssDefaultPasses;
        std::printf("%d", passes);
    } else {
        // The end of input is no count at all: no passes.
        passes = answer != nullptr ? parse_number(line) : 0;
        std::printf("count = %d\n", passes);
    }
    for (long long pass = 1; pass <= passes; ++pass) {
        std::printf("--- Start pass %lld.  ", pass);
        print_current_date();
        if (diag_options.interrupted == 1) {
            break;
        }
        const int result = comprehensive_test();
        if (result != 0 && diag_options.stop_on_error == 1) {
            failed = 1;
            break;
        }
        std::printf("\n");
        os::sleep(kEssPassGapSeconds);
    }
    std::printf("\n\n");
    print_current_date();
    if (failed) {
        print_failed_banner();
    }
    diag_options.mode &= ~MODE_ESS;
}

void print_current_date()
{
    const time_t now = os::time(nullptr);
    char text[64] = "";
    if (ctime_r(&now, text) == nullptr) {
        text[0] = '\0'; // a clock beyond what ctime can show
    }
    text[std::strcspn(text, "\n\r")] = '\0';
    std::printf("Current date = %s\n", text);
}

void print_failed_banner()
{
    std::printf("  FFFFFFF       A        II    LL         EEEEEEE    DDDDDD\n");
    std::printf("  FF           A A       II    LL         EE         DD   DD\n");
    std::printf("  FFFF        A   A      II    LL         EEEE       DD    DD\n");
    std::printf("  FF         AAAAAAA     II    LL         EE         DD    DD\n");
    std::printf("  FF        AA     AA    II    LL         EE         DD   DD\n");
    std::printf("  FF        AA     AA    II    LLLLLLL    EEEEEEE    DDDDDD\n");
}

int show_card_info()
{
    os::system("/usr/local/bin/fw_printenv part# serial# rev# ethaddr");
    return 0;
}

} // namespace kmb
