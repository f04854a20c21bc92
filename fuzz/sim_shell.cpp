// The simulated card's shell: one command line as the diagnostic (or a person at the card's
// console) would hand it to system(). The shell must refuse what it does not support, and
// whatever it runs must stay inside the card's own file system.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/support/fuzz_card.h"

namespace {

// Longer than the shell's own limit, to reach its refusal too.
constexpr std::size_t kMaxCommand = 5000;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string command = kmb::fuzz::c_text(data, size, kMaxCommand);
    kmb::fuzz::FuzzCard card;
    card.card().shell().run(command.c_str());
    return 0;
}
