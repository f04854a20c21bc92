// The version text's reading of the card's release file (/etc/version, printed by the version
// script into /tmp/diag_version). The text must fit the menu's 30-byte buffer, be terminated,
// and carry no line end or carriage return.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "fuzz/support/fuzz_card.h"
#include "menu/card_version.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    kmb::fuzz::FuzzCard card;
    if (!card.card().fs().write_text("/etc/version", std::string_view(reinterpret_cast<const char*>(data), size))) {
        std::abort();
    }
    // One byte past the size the program gives, to see that nothing is written there.
    char buf[kmb::DIAG_VERSION_SIZE + 1];
    std::memset(buf, 0x5A, sizeof buf);
    kmb::get_diag_version(buf, kmb::DIAG_VERSION_SIZE);
    const void* end = std::memchr(buf, '\0', kmb::DIAG_VERSION_SIZE);
    if (end == nullptr || buf[kmb::DIAG_VERSION_SIZE] != 0x5A || std::strpbrk(buf, "\r\n") != nullptr) {
        std::abort();
    }
    return 0;
}
