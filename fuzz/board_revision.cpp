// The pre-production check's reading of the boot loader's environment. The value of rev# is
// the fuzz input; the card's fw_printenv writes it to /tmp/env.log as "rev#=<value>", and
// check_board_revision reads that file back. Whatever the value, the check must close the file
// and remove it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/support/fuzz_card.h"
#include "menu/card_version.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // The boot loader refuses what its environment cannot hold (a NUL, a line end, more than
    // its sector), and so does the simulator's --env: the value is what the tool would store.
    std::string value(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 4000));
    value.resize(std::min(value.find_first_of(std::string("\0\n", 2)), value.size()));
    kmb::fuzz::FuzzCard card({}, {{"rev#", value}});
    kmb::check_board_revision();
    if (card.card().fs().exists("/tmp/env.log")) {
        std::abort();
    }
    return 0;
}
