#include "menu/kmb_main.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>

#include "board/counter_agent.h"
#include "board/io_expander.h"
#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "devices/lm77.h"
#include "diag/indications.h"
#include "diag/options.h"
#include "menu/card_version.h"
#include "menu/resets.h"
#include "menu/top_menu.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr const char* kFixtureMarker = "/var/run/InTestFixture";

// The fixture announces itself with a marker file; on a card anywhere else the diagnostic's
// resets and lamps would do harm.
bool in_test_fixture()
{
    const int fd = os::open(kFixtureMarker, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    os::close(fd);
    return true;
}

// A reset test may have left the counter agent driving a reset line.
void counter_agent_start_up()
{
    int fd = -1;
    if (i2c_dev_open(&fd, COUNTER_AGENT_ADDRESS) == ERR_NONE) {
        counter_agent_set_defaults(fd);
        os::close(fd);
    }
}

} // namespace

int kmb_main(int, char**)
{
    if (!in_test_fixture()) {
        std::printf("This KMB is not in the test fixture, diagnostic won't run\n");
        std::fflush(stdout);
        return 1;
    }
    if (io_expander_init() != 0) {
        std::printf("ERROR open IO expander, most tests can't run\n");
    }
    counter_agent_start_up();
    uint8_t reset_reason = 0;
    read_cpld_reset_reason(&reset_reason);
    verify_reset_markers(reset_reason);
    install_sigint_handler();
    set_default_options();
    indicate_fail(); // shown until a test passes
    lm77_init();
    char version[DIAG_VERSION_SIZE];
    get_diag_version(version, sizeof version);
    top_menu_loop(version);
    std::fflush(stdout);
    return 1;
}

} // namespace kmb
