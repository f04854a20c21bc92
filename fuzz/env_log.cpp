// The revision check's reading of the environment tool's output, from raw bytes: whatever the
// file holds (no '#', NULs, a short file), the reader takes at most two characters.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "menu/card_version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    bytes.push_back(0); // fmemopen wants a buffer of at least one byte
    FILE* env = fmemopen(bytes.data(), size == 0 ? 1 : size, "r");
    if (env == nullptr) {
        return 0;
    }
    char rev[3] = {'x', 'x', 'x'};
    kmb::read_revision(env, rev);
    std::fclose(env);
    if (rev[2] != '\0') {
        std::abort();
    }
    return 0;
}
