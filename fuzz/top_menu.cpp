// The top-level menu as an operator drives it: the input's first byte picks the faults of the
// card (bit i: the i-th fault of the catalogue), the rest is what is typed at the console,
// line after line. Each line goes to top_menu_dispatch; kmb and ess read their own lines from
// the same console, so the test menu and the ESS count prompt are reached too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/fuzz_card.h"
#include "fuzz/support/scripted_operator.h"
#include "os/os.h"
#include "shell/options.h"
#include "shell/top_menu.h"

namespace {

// Card time an input may use before the operator stops it: some thirty comprehensive passes.
constexpr int64_t kBudgetUs = 120'000'000;

void reset_options()
{
    kmb::set_default_options();
    kmb::diag_options.loop_saved = 0;
    kmb::diag_options.stop_on_error_saved = 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    kmb::fuzz::FuzzCard card(kmb::fuzz::faults_from_mask(data[0]));
    card.os().set_console_input(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    kmb::fuzz::ScriptedOperator person(card.card(), card.os(), kBudgetUs);
    reset_options();
    char line[kmb::MENU_LINE_SIZE];
    while (kmb::os::read_line(line, sizeof line) != nullptr && kmb::top_menu_dispatch(line)) {
    }
    reset_options();
    return 0;
}
