// The card's iptables command as its shell runs it: any words after the name. It must refuse
// what it does not take with iptables' own messages, and a rule it adds must be one that the
// same command with -D removes again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/userland/iptables.h"
#include "sim/userland/shell.h"

#include "fuzz/support/fuzz_card.h"

namespace {

constexpr std::size_t kMaxWords = 400;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string words = kmb::fuzz::c_text(data, size, kMaxWords);
    kmb::fuzz::FuzzCard card;
    kmb::sim::Shell& shell = card.card().shell();
    const kmb::sim::NatTable& nat = card.card().network().nat();
    const int added = shell.run(("iptables " + words).c_str());
    // Plain words only: quotes and redirections would let "-A" stand elsewhere than as the option.
    const bool plain = words.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 ./-") ==
                       std::string::npos;
    if (plain && added == 0 && words.find("-A") != std::string::npos && words.find("-D") == std::string::npos &&
        words.find("--append") == std::string::npos && !nat.rules().empty()) {
        // The same words with the append turned into a delete take the rule out again.
        std::string del = words;
        del.replace(del.find("-A"), 2, "-D");
        if (shell.run(("iptables " + del).c_str()) != 0 || !nat.rules().empty()) {
            std::abort();
        }
    }
    shell.run("iptables -t nat -S");
    return 0;
}
