// The reading of /proc/interrupts. The fuzz input is the file's whole text; whatever it holds,
// the reader must stay inside its count buffers, close the file and give each of the four
// lines a count that fits in seven characters of text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "board/interrupts.h"
#include "fuzz/support/fuzz_card.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    kmb::fuzz::FuzzCard card;
    card.card().add_kernel_file("/proc/interrupts", [&text] { return std::optional<std::string>(text); });
    kmb::IrqCounts counts{};
    if (kmb::read_irq_counts(&counts) != 0) {
        std::abort(); // the file is there
    }
    for (int32_t count : counts.count) {
        if (count < -999999 || count > 9999999) {
            std::abort();
        }
    }
    return 0;
}
