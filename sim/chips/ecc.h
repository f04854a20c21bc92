// The ECC status the card's kernel publishes in /proc/kmb/ecc: a binary record of 320 bytes,
// its words in the card's (big-endian) order. The memory controller counts the errors it
// corrected and those it could not; the kernel fills in where the last one was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "sim/core/faults.h"

namespace kmb::sim {

inline constexpr const char* kEccFile = "/proc/kmb/ecc";
inline constexpr std::size_t kEccRecordSize = 320;

class EccStatus {
public:
    explicit EccStatus(Faults& faults) : faults_(faults) {}

    // The record as an open of the file reads it; nullopt when the kernel has no such file.
    std::optional<std::string> record();

    // A block of `size` bytes at `block` handed to the program, and the same block given back.
    void block_handed_out(void* block, size_t size);
    void block_returned(const void* block, size_t size);

private:
    Faults& faults_;
    uint16_t corrected_ = 0;     // bytes 0-1
    uint32_t last_error_ = 0;    // bytes 4-7: offset into RAM of the last error
    uint8_t uncorrectable_ = 0;  // byte 8
};

} // namespace kmb::sim
