// The pre-production check's reading of the boot loader's environment. The value of rev# is
// the fuzz input; the card's fw_printenv writes it to /tmp/env.log as "rev#=<value>", and
// check_board_revision reads that file back. Whatever the value, the check must close the file
// and remove it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/support/fuzz_card.h"
#include "shell/card_version.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // The boot loader refuses what its environment cannot hold (a line end, an overlong value);
    // such a value never reaches the card, and BootEnv::set leaves rev# as it was.
    const std::string value(reinterpret_cast<const char*>(data), size);
    kmb::fuzz::FuzzCard card({}, {{"rev#", value}});
    kmb::check_board_revision();
    if (card.card().fs().exists("/tmp/env.log")) {
        std::abort();
    }
    return 0;
}
