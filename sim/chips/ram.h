// The card's main memory as a process on it can have it: calloc and malloc succeed while what
// is handed out stays within what the kernel and the resident daemons leave of the card's RAM.
// The blocks themselves are real memory of this process, so the memory test's pattern passes
// run at the machine's speed.
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
    };
    bool fits(size_t size) const { return size <= available_ - in_use_; }
    void* aliased_block(size_t size, Block& block);
    void release(void* address, const Block& block);

    size_t available_;
    size_t in_use_ = 0;
    Faults& faults_;
    std::map<void*, Block> blocks_;
    BlockEvent block_handed_out_;
    BlockEvent block_returned_;
};

} // namespace kmb::sim
