// The numbered test menu's selection: the input begins with the card's faults (a count, then
// a byte per fault picking an entry of the catalogue), the rest is typed at the menu's prompt
// until 99 or the end.
#include <cstddef>
#include <cstdint>

#include "fuzz/support/fuzz_card.h"
#include "fuzz/support/scripted_operator.h"
#include "menu/kmb_menu.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    kmb::fuzz::run_operator_session(data, size, [] { kmb::kmb_test_menu(); });
    return 0;
}
