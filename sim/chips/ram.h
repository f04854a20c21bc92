// The card's main memory as a process on it can have it: calloc and malloc succeed while what
// is handed out stays within what the kernel and the resident daemons leave of the card's RAM.
// The blocks themselves are real memory of this process, so the memory test's pattern passes
// run at the machine's speed; the card's time for that work is charged at the card's memory
// bandwidth (what calloc clears, and a large block's write and read-back by the time it comes
// back), so that card time runs through a memory test as on the card, at any --speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>

#include "sim/core/faults.h"

namespace kmb::sim {

class CardRam {
public:
    // `ram_mib`: the card's RAM in MiB.
    CardRam(unsigned ram_mib, Faults& faults);
    ~CardRam();
    CardRam(const CardRam&) = delete;
    CardRam& operator=(const CardRam&) = delete;

    // As the C library's: nullptr with errno ENOMEM when the card has not that much left.
    void* calloc(size_t count, size_t size);
    void* malloc(size_t size);
    void free(void* block);

    // The card's memory moves kBytesPerMicrosecond: an SDRAM bus of the card's day.
    static constexpr int64_t kBytesPerMicrosecond = 200;
    // A block from malloc at least this large is taken to have been written and read back in
    // full by the time it is freed (the memory test's blocks); smaller ones cost nothing.
    static constexpr size_t kChargedFrom = 1024 * 1024;
    // Told of the card time (µs) that the memory's work took.
    using TimeSpent = std::function<void(int64_t us)>;
    void set_time_spent(TimeSpent fn) { time_spent_ = std::move(fn); }
    // The card time charged so far.
    int64_t charged_us() const { return charged_us_; }

    // Told of each block malloc hands out, and of each such block when it comes back.
    using BlockEvent = std::function<void(void* block, size_t size)>;
    void set_block_events(BlockEvent handed_out, BlockEvent returned)
    {
        block_handed_out_ = std::move(handed_out);
        block_returned_ = std::move(returned);
    }

    // What a process can have at most, and what the program holds now.
    size_t available() const { return available_; }
    size_t in_use() const { return in_use_; }
    size_t blocks_in_use() const { return blocks_.size(); }

private:
    struct Block {
        size_t size;
        size_t mapped; // nonzero: a mapping of this length, not a heap block
        int memfd;     // the pages seen twice through a dead address line, or -1
        bool cleared;  // from calloc: its cost was charged when it was cleared
    };
    void charge(uint64_t bytes);
    bool fits(size_t size) const { return size <= available_ - in_use_; }
    void* aliased_block(size_t size, Block& block);
    // A refusal that the tiny card's missing memory decides: only then has mem-tiny fired.
    void refused();
    void release(void* address, const Block& block);

    size_t available_;
    bool booted_tiny_; // the card's memory is set at its start; a later mem-tiny changes nothing
    size_t in_use_ = 0;
    Faults& faults_;
    std::map<void*, Block> blocks_;
    TimeSpent time_spent_;
    int64_t charged_us_ = 0;
    uint64_t uncharged_bytes_ = 0; // less than a microsecond's worth, carried to the next charge
    BlockEvent block_handed_out_;
    BlockEvent block_returned_;
};

} // namespace kmb::sim
