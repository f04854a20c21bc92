#include "board/memory.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <limits>

#include "diag/indications.h"
#include "diag/result_line.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr MemPatternTest kPatternTests[] = {mem_address_test, mem_data_bus_test, mem_fill_test, mem_pattern_test};

constexpr const char* kHints[] = {"** Check Memory chip  **\n"};

// The record as the card's kernel publishes it now; a missing file is said, not failed.
EccSnapshot take_ecc_snapshot(uint8_t* record)
{
    EccSnapshot snapshot;
    const int fd = os::open(ECC_PROC_FILE, O_RDONLY);
    if (fd < 0) {
        std::printf("no ECC proc file\n");
        return snapshot;
    }
    if (os::read(fd, record, ECC_RECORD_SIZE) == static_cast<ssize_t>(ECC_RECORD_SIZE)) {
        snapshot = ecc_snapshot_of(record);
    }
    os::close(fd);
    return snapshot;
}

bool ecc_changed(const EccSnapshot& before, const EccSnapshot& after)
{
    return before.taken && after.taken && (before.count != after.count || before.status != after.status);
}

// The largest n, in steps of MEM_SIZE_STEP, for which 4 * n zeroed bytes can be had; 0 when
// not even the first step can.
uint32_t largest_block_quarter()
{
    uint32_t n = MEM_SIZE_STEP;
    while (true) {
        // A card with more memory than n can count stops where the count does; calloc itself
        // refuses a 4 * n that overflows its size.
        if (n > std::numeric_limits<uint32_t>::max() - MEM_SIZE_STEP) {
            break;
        }
        void* probe = os::calloc(4, n);
        if (probe == nullptr) {
            break;
        }
        os::free(probe);
        n += MEM_SIZE_STEP;
    }
    return n - MEM_SIZE_STEP;
}

} // namespace

EccSnapshot ecc_snapshot_of(const uint8_t* record)
{
    EccSnapshot snapshot;
    snapshot.count = static_cast<uint16_t>((record[0] << 8) | record[1]);
    snapshot.status = record[8];
    snapshot.taken = true;
    return snapshot;
}

int memory_pattern_tests()
{
    const uint32_t n = largest_block_quarter();
    if (n == 0) {
        std::printf("unable to allocate at least 2M byte memory\n");
        return MEM_NO_BLOCK;
    }
    auto* block = static_cast<uint32_t*>(os::malloc(static_cast<size_t>(n) * 4));
    if (block == nullptr) {
        std::printf("cannot allocate memory\n");
        return MEM_NO_ALLOCATION;
    }
    int result = 0;
    for (MemPatternTest test : kPatternTests) {
        result = test(block, n);
        if (result != 0) {
            break;
        }
    }
    os::free(block);
    return result;
}

int memory_test()
{
    indicate_clear();
    int failed = 0;
    auto* record = static_cast<uint8_t*>(os::malloc(ECC_RECORD_SIZE));
    if (record == nullptr) {
        std::perror(nullptr);
        failed = 1;
    } else {
        const EccSnapshot before = take_ecc_snapshot(record);
        if (memory_pattern_tests() != 0) {
            failed = 1;
        } else if (ecc_changed(before, take_ecc_snapshot(record))) {
            std::printf("ECC error happened!\n");
            failed = 1;
        }
        os::free(record);
    }
    return report_result("Memory test ............................", failed, kHints);
}

} // namespace kmb
