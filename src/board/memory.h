// The card's main memory from user space: the largest block the card gives, four pattern tests
// over its first quarter, and the ECC status the card's kernel publishes, before and after.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kmb {

inline constexpr const char* ECC_PROC_FILE = "/proc/kmb/ecc";
inline constexpr std::size_t ECC_RECORD_SIZE = 320;

// The block grows in steps of 4 * MEM_SIZE_STEP bytes; the tests work on MEM_SIZE_STEP-sized
// multiples, as 32-bit words.
inline constexpr uint32_t MEM_SIZE_STEP = 0x100000;
// Mismatches a pattern test reports before it gives up.
inline constexpr int MEM_ERROR_LIMIT = 10;

// memory_pattern_tests' results besides a mismatch count.
inline constexpr int MEM_NO_BLOCK = 1;
inline constexpr int MEM_NO_ALLOCATION = 4;

// The two fields of the ECC record that tell whether an error happened. `taken` is false when
// the file could not be opened or gave less than a whole record: such a snapshot compares with
// nothing, so only two whole records give a verdict.
struct EccSnapshot {
    uint16_t count = 0; // bytes 0 and 1, in the card's (big-endian) order
    uint8_t status = 0; // byte 8
    bool taken = false;
};

// The fields of a whole record.
EccSnapshot ecc_snapshot_of(const uint8_t* record);

// Each takes the block and the length n in bytes of the part it works on (a multiple of
// MEM_SIZE_STEP); returns its count of mismatches, 0 when it passed.
using MemPatternTest = int (*)(uint32_t* block, uint32_t length);
int mem_address_test(uint32_t* block, uint32_t length);
int mem_data_bus_test(uint32_t* block, uint32_t length);
int mem_fill_test(uint32_t* block, uint32_t length);
int mem_pattern_test(uint32_t* block, uint32_t length);

// Sizes, allocates and tests the block: 0 passed, MEM_NO_BLOCK, MEM_NO_ALLOCATION, or the
// mismatch count of the first pattern test that failed.
int memory_pattern_tests();

// Menu 8: the pattern tests between two ECC snapshots; 0 passed, 1 failed.
int memory_test();

} // namespace kmb
