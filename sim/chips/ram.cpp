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

CardRam::CardRam(unsigned ram_mib, Faults& faults) : available_(share_of(ram_mib, faults)), faults_(faults) {}

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
        faults_.act(Fault::MemTiny); // a no that the fault decides
        errno = ENOMEM;
        return nullptr;
    }
    void* address = std::calloc(count, size);
    if (address == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    blocks_[address] = Block{total, 0, -1};
    in_use_ += total;
    return address;
}

void* CardRam::malloc(size_t size)
{
    if (!fits(size)) {
        faults_.act(Fault::MemTiny);
        errno = ENOMEM;
        return nullptr;
    }
    Block block{size, 0, -1};
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
    release(address, block);
    if (block_returned_) {
        block_returned_(block.size);
    }
}

// The block the memory test takes is four times the span its pattern tests cover. A dead
// address line in that span makes its upper half the same memory as its lower half: one
// memory file mapped twice, over an anonymous mapping of the whole block.
void* CardRam::aliased_block(size_t size, Block& block)
{
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t half = (size / 8) / page * page;
    if (half == 0) {
        return std::malloc(size);
    }
    void* base = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        return nullptr;
    }
    const int fd = ::memfd_create("kmb-dead-address-line", MFD_CLOEXEC);
    char* lower = static_cast<char*>(base);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(half)) != 0 ||
        ::mmap(lower, half, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED ||
        ::mmap(lower + half, half, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED) {
        if (fd >= 0) {
            ::close(fd);
        }
        ::munmap(base, size);
        return nullptr;
    }
    block.mapped = size;
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
