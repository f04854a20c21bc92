// The top-level menu as an operator drives it: the input begins with the card's faults (a
// count, then a byte per fault picking an entry of the catalogue), the rest is what is typed at
// the console, line after line. Each line goes to top_menu_dispatch; kmb and ess read their own lines from
// the same console, so the test menu and the ESS count prompt are reached too.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/fuzz_card.h"
#include "fuzz/support/scripted_operator.h"
#include "menu/top_menu.h"
#include "os/os.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    kmb::fuzz::run_operator_session(data, size, [] {
        char line[kmb::MENU_LINE_SIZE];
        while (kmb::os::read_line(line, sizeof line) != nullptr && kmb::top_menu_dispatch(line)) {
        }
    });
    return 0;
}
