// The numbered test menu's selection: the input's first byte picks the card's faults (bit i:
// the i-th fault of the catalogue), the rest is typed at the menu's prompt until 99 or the end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/fuzz_card.h"
#include "fuzz/support/scripted_operator.h"
#include "shell/options.h"
#include "shell/test_menu.h"

namespace {

constexpr int64_t kBudgetUs = 120'000'000;

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
    kmb::set_default_options();
    kmb::kmb_test_menu();
    kmb::set_default_options();
    return 0;
}
