#include "sim/chips/ecc.h"

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

void EccStatus::memory_used(size_t size)
{
    // A multi-bit error in a weak cell, met while the block was in use.
    if (size > kErrorOffset && faults_.act(Fault::EccError)) {
        uncorrectable_ = static_cast<uint8_t>(uncorrectable_ + 1);
        last_error_ = kErrorOffset;
    }
}

} // namespace kmb::sim
