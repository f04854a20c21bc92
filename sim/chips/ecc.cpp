#include "sim/chips/ecc.h"

#include <cstring>

namespace kmb::sim {

namespace {

// Record layout.
constexpr std::size_t kCorrectedAt = 0;
constexpr std::size_t kLastErrorAt = 4;
constexpr std::size_t kUncorrectableAt = 8;
constexpr std::size_t kRecordVersionAt = 12;
constexpr uint8_t kRecordVersion = 1;

// Where in the block an error shows: some word of its first quarter.
constexpr uint32_t kErrorOffset = 0x00012340;
// What the weak word holds before the program writes it.
constexpr uint32_t kUntouched = 0x5A17C0DE;

void put_be(std::string& record, std::size_t at, uint32_t value, std::size_t bytes)
{
    for (std::size_t i = 0; i < bytes; ++i) {
        record[at + i] = static_cast<char>((value >> (8 * (bytes - 1 - i))) & 0xff);
    }
}

} // namespace

std::optional<std::string> EccStatus::record()
{
    if (faults_.act(Fault::EccAbsent)) {
        return std::nullopt; // a kernel built without the card's ECC reporting
    }
    std::string record(kEccRecordSize, '\0');
    put_be(record, kCorrectedAt, corrected_, 2);
    put_be(record, kLastErrorAt, last_error_, 4);
    put_be(record, kUncorrectableAt, uncorrectable_, 1);
    put_be(record, kRecordVersionAt, kRecordVersion, 1);
    return record;
}

// The weak cell holds a word the program has not written yet, as a fresh block holds whatever
// was there. The memory controller checks a word when it is read, and the program reads back
// only words it wrote (the pattern tests write every word of their span, then read it); a
// block whose weak word still holds that value when it comes back was never written there,
// like the sizing probes, and its error was never met.
void EccStatus::block_handed_out(void* block, size_t size)
{
    if (size >= kErrorOffset + sizeof kUntouched && faults_.enabled(Fault::EccError)) {
        std::memcpy(static_cast<char*>(block) + kErrorOffset, &kUntouched, sizeof kUntouched);
    }
}

void EccStatus::block_returned(const void* block, size_t size)
{
    if (size < kErrorOffset + sizeof kUntouched || !faults_.enabled(Fault::EccError)) {
        return;
    }
    uint32_t word = 0;
    std::memcpy(&word, static_cast<const char*>(block) + kErrorOffset, sizeof word);
    if (word != kUntouched && faults_.act(Fault::EccError)) {
        uncorrectable_ = static_cast<uint8_t>(uncorrectable_ + 1);
        last_error_ = kErrorOffset;
    }
}

} // namespace kmb::sim
