// The PHY's interactive register access (hidden number 11): whatever the operator types at its
// register, write and value prompts, in hexadecimal or not, ends it with no descriptor left
// open and no wait without end.
#include <cstddef>
#include <cstdint>

#include "ethernet/phy_access.h"
#include "fuzz/support/fuzz_card.h"
#include "fuzz/support/scripted_operator.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    kmb::fuzz::run_operator_session(data, size, [] { kmb::phy_edit_reg(); });
    return 0;
}
