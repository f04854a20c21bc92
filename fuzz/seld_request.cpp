// A request on the SEL daemon's queue, as any process of the card may send it: decoded, and
// when it decodes, stored in the card's event log and its summary.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/support/fuzz_card.h"
#include "sim/daemons/seld_service.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size > 8192) {
        return 0;
    }
    // The daemon receives into an aligned buffer that starts with mtype.
    auto* msg = static_cast<uint8_t*>(std::calloc(1, sizeof(long) + size + 1));
    std::memcpy(msg + sizeof(long), data, size);
    kmb::fuzz::FuzzCard card;
    kmb::SelDecoded request;
    if (kmb::seld_decode(msg, static_cast<int>(size), &request) == 0) {
        kmb::SelSummary summary = kmb::seld_load_summary();
        kmb::seld_apply(request, &summary);
    }
    std::free(msg);
    return 0;
}
