// The four pattern tests. They run over the largest block the card can give, so they are the
// one part of the diagnostic whose speed is its own: each write pass is a plain loop, a
// compiler barrier stands between it and its read pass (so every word written is read back
// from memory, not from what the compiler remembers), and the read pass loads a few words at a
// time and looks at them one by one only when one of them differs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "board/memory.h"
#include "diag/options.h"

namespace kmb {

namespace {

constexpr uint32_t kPatterns[] = {0xAAAAAAAA, 0x55555555, 0x6DB66DB6, 0xB6DBB6DB, 0xDB6DDB6D,
                                  0x33333333, 0x66666666, 0xCCCCCCCC, 0x99999999, 0x33333333};
constexpr int kFillPasses = 3;
constexpr uint32_t kFills[kFillPasses] = {0x00000000, 0xFFFFFFFF, 0x00000000};

// What the compiler knows of memory is forgotten here: the writes before it happen, and the
// reads after it come from memory.
inline void memory_barrier(const void* block) { asm volatile("" : : "r"(block) : "memory"); }

// The error limit shared by all phases of one test.
struct Mismatches {
    int count = 0;
    bool stop = false;

    [[gnu::noinline, gnu::cold]] void note(uint32_t expected, uint32_t read)
    {
        std::printf("Error reading data, expected = 0x%x, read = 0x%x\n", expected, read);
        if (++count > MEM_ERROR_LIMIT) {
            std::printf("too much error, exit\n");
            stop = true;
        }
    }
    // Writes one word, reads one back, compares.
    void check(volatile uint32_t* word, uint32_t expected)
    {
        const uint32_t read = *word;
        if (read != expected) {
            note(expected, read);
        }
    }
};

// The word's own address as the card stores it: all 32 bits on the card, the low 32 bits
// where addresses are wider.
inline uint32_t address_of(const uint32_t* word) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(word)); }

// Four words handled as one value; where the processor has no vector unit the compiler does the
// four one by one.
using Quad = uint32_t __attribute__((vector_size(16)));

// What the words should hold: word i's value, the first four words' values, and what each
// word's value gains from one group of four to the next.
// (Quads stay in members and references: passed by value, their calling convention differs
// between compilers on the card.)
struct AddressesFrom {
    explicit AddressesFrom(uint32_t first_address)
        : base(first_address), first{base, base + 4, base + 8, base + 12}, step{16, 16, 16, 16}
    {
    }
    uint32_t at(size_t i) const { return static_cast<uint32_t>(base + 4 * i); }
    uint32_t base;
    Quad first;
    Quad step;
};
struct Fill {
    explicit Fill(uint32_t fill) : value(fill), first{value, value, value, value}, step{0, 0, 0, 0} {}
    uint32_t at(size_t) const { return value; }
    uint32_t value;
    Quad first;
    Quad step;
};

bool any_set(const Quad& q)
{
    uint64_t halves[2];
    std::memcpy(halves, &q, sizeof halves);
    return (halves[0] | halves[1]) != 0;
}

// Reads every word of the span once and compares it with what it should hold, in order. The
// words are taken eight at a time and only their differences kept, so the common case is a few
// vector operations per eight words; a difference is reported from what was read, never read
// again.
template <typename Expected>
void read_back(const uint32_t* words, uint32_t count, const Expected& expected, Mismatches& m)
{
    const size_t total = count; // indices as wide as pointers: no 32-bit wrap to keep in mind
    size_t i = 0;
    Quad low_expected = expected.first;
    Quad high_expected = low_expected + expected.step;
    const Quad lane_step = expected.step + expected.step;
    for (; i + 8 <= total; i += 8) {
        Quad low;
        Quad high;
        std::memcpy(&low, words + i, sizeof low);
        std::memcpy(&high, words + i + 4, sizeof high);
        low ^= low_expected;
        high ^= high_expected;
        low_expected += lane_step;
        high_expected += lane_step;
        if (any_set(low | high)) [[unlikely]] {
            uint32_t diff[8];
            std::memcpy(diff, &low, sizeof low);
            std::memcpy(diff + 4, &high, sizeof high);
            for (size_t k = 0; k < 8; ++k) {
                if (diff[k] != 0) {
                    m.note(expected.at(i + k), expected.at(i + k) ^ diff[k]);
                    if (m.stop) {
                        return;
                    }
                }
            }
        }
    }
    for (; i < total && !m.stop; ++i) {
        const uint32_t v = words[i];
        if (v != expected.at(i)) {
            m.note(expected.at(i), v);
        }
    }
}

// A fill value whose four bytes are alike is a memset, which the C library does at the
// memory's full write speed.
void fill_words(uint32_t* words, uint32_t count, uint32_t value)
{
    const uint32_t byte = value & 0xff;
    if (value == byte * 0x01010101u) {
        std::memset(words, static_cast<int>(byte), static_cast<size_t>(count) * 4);
    } else {
        std::fill(words, words + count, value);
    }
}

uint32_t far_word_index(uint32_t length) { return (length / 64) / 4; }

} // namespace

int mem_address_test(uint32_t* block, uint32_t length)
{
    const uint32_t count = length / 4;
    const uint32_t base = address_of(block);
    spinner_step();
    for (size_t i = 0; i < count; ++i) {
        block[i] = static_cast<uint32_t>(base + 4 * i);
    }
    memory_barrier(block);
    spinner_step();
    Mismatches m;
    read_back(block, count, AddressesFrom{base}, m);
    return m.count;
}

int mem_data_bus_test(uint32_t* block, uint32_t length)
{
    // Word 0 and a far word written in turn: a line of the data bus that floats or sticks
    // shows in word 0 once the far word has driven the bus the other way.
    volatile uint32_t* word0 = block;
    volatile uint32_t* far = block + far_word_index(length);
    spinner_step();
    Mismatches m;
    for (int i = 0; i < 32 && !m.stop; ++i) {
        const uint32_t one = 1u << i;
        *word0 = one;
        *far = 0xFFFFFFFF;
        m.check(word0, one);
    }
    uint32_t zeros = 0xFFFFFFFE;
    for (int i = 0; i < 32 && !m.stop; ++i) {
        *word0 = zeros;
        *far = 0;
        m.check(word0, zeros);
        zeros <<= 1;
    }
    return m.count;
}

int mem_fill_test(uint32_t* block, uint32_t length)
{
    const uint32_t count = length / 4;
    Mismatches m;
    for (int pass = 0; pass < kFillPasses && !m.stop; ++pass) {
        const uint32_t value = kFills[pass];
        spinner_step();
        fill_words(block, count, value);
        memory_barrier(block);
        spinner_step();
        read_back(block, count, Fill{value}, m);
    }
    return m.count;
}

int mem_pattern_test(uint32_t* block, uint32_t length)
{
    volatile uint32_t* word0 = block;
    volatile uint32_t* far = block + far_word_index(length);
    spinner_step();
    Mismatches m;
    for (uint32_t pattern : kPatterns) {
        if (m.stop) {
            break;
        }
        *far = pattern;
        *word0 = 0xFFFFFFFF;
        m.check(far, pattern);
    }
    return m.count;
}

} // namespace kmb
