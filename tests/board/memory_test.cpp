// The memory tests' patterns read back through an aliased word, and the ECC record's byte
// order. (Each memory fault's verdict, lamps and the blocks given back are menu 8's
// transcripts and the fault-coverage runs.)
#include <cstdint>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include "board/memory.h"
#include "support/capture.h"

namespace kmb::test {
namespace {

// A block of `length` bytes whose far word is word 0 seen again: the page that holds word 0 is
// mapped a second time where the far word lies, as a shorted address line would show it. What
// a test writes to word 0 then lands on the far word, so every compare of the far word (and of
// word 0 after a far-word write) reads the other one's value and prints what it expected.
class FarWordOnWordZero {
public:
    explicit FarWordOnWordZero(uint32_t length) : length_(length)
    {
        const long page = ::sysconf(_SC_PAGESIZE);
        const uint32_t far = length / 64 / 4 * 4;
        fd_ = ::memfd_create("far-word-alias", MFD_CLOEXEC);
        if (page <= 0 || far % static_cast<uint32_t>(page) != 0 || fd_ < 0 || ::ftruncate(fd_, page) != 0) {
            return;
        }
        void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
            return;
        }
        block_ = static_cast<uint32_t*>(base);
        for (uint32_t offset : {0u, far}) {
            if (::mmap(reinterpret_cast<char*>(base) + offset, static_cast<size_t>(page), PROT_READ | PROT_WRITE,
                       MAP_SHARED | MAP_FIXED, fd_, 0) == MAP_FAILED) {
                block_ = nullptr;
            }
        }
    }
    ~FarWordOnWordZero()
    {
        if (block_ != nullptr) {
            ::munmap(block_, length_);
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FarWordOnWordZero(const FarWordOnWordZero&) = delete;
    FarWordOnWordZero& operator=(const FarWordOnWordZero&) = delete;

    uint32_t* block() const { return block_; }

private:
    uint32_t length_;
    int fd_ = -1;
    uint32_t* block_ = nullptr;
};

std::string mismatch(uint32_t expected, uint32_t read)
{
    char line[80];
    std::snprintf(line, sizeof line, "Error reading data, expected = 0x%x, read = 0x%x\n", expected, read);
    return line;
}

// What the data bus and pattern tests write, read back through the far word's alias: each
// value the test expects shows in its mismatch line, in the order written.
TEST(MemoryTest, TheValuesWrittenShowThroughAFarWordAlias)
{
    constexpr uint32_t kLength = 4 * MEM_SIZE_STEP; // far word at 0x10000: pages up to 64 KiB
    constexpr uint32_t kFarOffset = kLength / 64 / 4 * 4;
    const uint32_t patterns[] = {0xAAAAAAAA, 0x55555555, 0x6DB66DB6, 0xB6DBB6DB, 0xDB6DDB6D,
                                 0x33333333, 0x66666666, 0xCCCCCCCC, 0x99999999, 0x33333333};
    std::string pattern_lines;
    for (uint32_t p : patterns) {
        pattern_lines += mismatch(p, 0xFFFFFFFF);
    }
    // Walking one: the far word's 0xFFFFFFFF overwrites each one before it is read back.
    std::string walking_lines;
    for (int i = 0; i <= MEM_ERROR_LIMIT; ++i) {
        walking_lines += mismatch(1u << i, 0xFFFFFFFF);
    }
    walking_lines += "too much error, exit\n";
    struct Case {
        const char* what;
        MemPatternTest test;
        int mismatches;
        std::string lines; // for the address test, made once the block's address is known
    };
    const Case cases[] = {
        {"address", mem_address_test, MEM_ERROR_LIMIT + 1, ""},
        {"pattern", mem_pattern_test, 10, pattern_lines},
        {"data bus", mem_data_bus_test, MEM_ERROR_LIMIT + 1, walking_lines},
        // A fill writes every word alike: the alias cannot show.
        {"fill", mem_fill_test, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FarWordOnWordZero memory(kLength);
        if (memory.block() == nullptr) {
            GTEST_SKIP() << "the far word does not start a page here";
        }
        std::string lines = c.lines;
        if (c.test == mem_address_test) {
            // Each word holds its own address; the far page, written last, shows through word 0's
            // page, so every word from word 0 on reads its far twin's address.
            const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(memory.block()));
            for (uint32_t i = 0; i <= MEM_ERROR_LIMIT; ++i) {
                lines += mismatch(base + 4 * i, base + kFarOffset + 4 * i);
            }
            lines += "too much error, exit\n";
        }
        CapturedOutput capture;
        EXPECT_EQ(c.test(memory.block(), kLength), c.mismatches);
        capture.stop();
        std::string out = capture.out();
        out.erase(0, out.find_first_not_of("|/-\\\b"));
        EXPECT_EQ(out, lines);
    }
}

TEST(MemoryTest, TheEccFieldsAreTakenInTheCardsByteOrder)
{
    uint8_t record[ECC_RECORD_SIZE] = {};
    record[0] = 0x12;
    record[1] = 0x34;
    record[7] = 0x56;
    record[8] = 0x9A;
    record[9] = 0xBC;
    const EccSnapshot s = ecc_snapshot_of(record);
    EXPECT_TRUE(s.taken);
    EXPECT_EQ(s.count, 0x1234);
    EXPECT_EQ(s.status, 0x9A);
}

} // namespace
} // namespace kmb::test
