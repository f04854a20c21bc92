#include "sim/chips/ram.h"

#include <cerrno>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace kmb::sim {

namespace {

constexpr size_t kMiB = 1024 * 1024;
// The card's kernel, its buffers and the resident daemons.
constexpr size_t kSystemShare = 8 * kMiB;
// What a process gets when the fixture's card has next to no memory left (mem-tiny).
constexpr size_t kTinyShare = 3 * kMiB;
// A dead address line shows in blocks large enough to reach it.
constexpr size_t kAliasedFrom = 4 * kMiB;

size_t share_of(unsigned ram_mib, Faults& faults)
{
    if (faults.active(Fault::MemTiny)) { // the card boots with it or without
        return kTinyShare;
    }
    const size_t ram = static_cast<size_t>(ram_mib) * kMiB;
    return ram > kSystemShare ? ram - kSystemShare : 0;
}

} // namespace

CardRam::CardRam(unsigned ram_mib, Faults& faults)
    : available_(share_of(ram_mib, faults)), booted_tiny_(faults.active(Fault::MemTiny)), faults_(faults)
{
}

void CardRam::refused()
{
    if (booted_tiny_) {
        faults_.act(Fault::MemTiny);
    }
    errno = ENOMEM;
}

CardRam::~CardRam()
{
    // Heap blocks the program never gave back are the leak checker's to report; mappings are
    // this model's own.
    for (const auto& [address, block] : blocks_) {
        if (block.mapped != 0) {
            release(address, block);
        }
    }
}

void* CardRam::calloc(size_t count, size_t size)
{
    if (size != 0 && count > static_cast<size_t>(-1) / size) {
        errno = ENOMEM;
        return nullptr;
    }
    const size_t total = count * size;
    if (!fits(total)) {
        refused();
        return nullptr;
    }
    void* address = std::calloc(count, size);
    if (address == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    blocks_[address] = Block{total, 0, -1, true};
    in_use_ += total;
    charge(total); // the card's calloc clears every byte
    return address;
}

void* CardRam::malloc(size_t size)
{
    if (!fits(size)) {
        refused();
        return nullptr;
    }
    Block block{size, 0, -1, false};
    void* address = nullptr;
    if (size >= kAliasedFrom && faults_.act(Fault::MemAddressAlias)) {
        address = aliased_block(size, block);
    } else {
        address = std::malloc(size);
    }
    if (address == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    blocks_[address] = block;
    in_use_ += size;
    if (block_handed_out_) {
        block_handed_out_(address, size);
    }
    return address;
}

void CardRam::free(void* address)
{
    if (address == nullptr) {
        return;
    }
    const auto it = blocks_.find(address);
    if (it == blocks_.end()) {
        std::free(address); // not the card's: let the C library judge it
        return;
    }
    const Block block = it->second;
    blocks_.erase(it);
    in_use_ -= block.size;
    if (block_returned_) {
        block_returned_(address, block.size);
    }
    release(address, block);
    if (!block.cleared && block.size >= kChargedFrom) {
        charge(2 * static_cast<uint64_t>(block.size)); // written, then read back
    }
}

void CardRam::charge(uint64_t bytes)
{
    uncharged_bytes_ += bytes;
    const auto us = static_cast<int64_t>(uncharged_bytes_ / kBytesPerMicrosecond);
    if (us == 0) {
        return;
    }
    uncharged_bytes_ -= static_cast<uint64_t>(us) * kBytesPerMicrosecond;
    charged_us_ += us;
    if (time_spent_) {
        time_spent_(us);
    }
}

// The block the memory test takes is four times the span its pattern tests cover. A dead
// address line k reads and writes every address with bit k set at the same address with it
// clear. The line modelled is the highest one inside the span (2^k at most half the span), so
// the pattern tests meet it: the block is one memory file mapped chunk by chunk, 2^k bytes
// each, and chunk j shows the pages of chunk j with its lowest bit cleared. Bit k counts
// from the block's start, which the mapping aligns to a page.
void* CardRam::aliased_block(size_t size, Block& block)
{
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t span = size / 4;
    size_t line = page;
    while (line * 4 <= span) {
        line *= 2;
    }
    if (line * 2 > span) {
        return std::malloc(size);
    }
    const size_t chunks = (size + line - 1) / line;
    void* base = ::mmap(nullptr, chunks * line, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return nullptr;
    }
    const int fd = ::memfd_create("kmb-dead-address-line", MFD_CLOEXEC);
    bool mapped = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(chunks * line)) == 0;
    char* start = static_cast<char*>(base);
    for (size_t j = 0; mapped && j < chunks; ++j) {
        const off_t shown = static_cast<off_t>((j & ~static_cast<size_t>(1)) * line);
        mapped = ::mmap(start + j * line, line, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, shown) != MAP_FAILED;
    }
    if (!mapped) {
        if (fd >= 0) {
            ::close(fd);
        }
        ::munmap(base, chunks * line);
        return nullptr;
    }
    block.mapped = chunks * line;
    block.memfd = fd;
    return base;
}

void CardRam::release(void* address, const Block& block)
{
    if (block.mapped == 0) {
        std::free(address);
        return;
    }
    ::munmap(address, block.mapped);
    if (block.memfd >= 0) {
        ::close(block.memfd);
    }
}

} // namespace kmb::sim
