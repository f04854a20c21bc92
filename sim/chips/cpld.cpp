#include "sim/chips/cpld.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/mman.h>
#include <type_traits>
#include <unistd.h>

#include "sim/storage/state_bytes.h"

namespace kmb::sim {

namespace {

// The page the register sits on, as the program sees it through its window.
class RegisterPage final : public Mapping {
public:
    RegisterPage(uint8_t reason, size_t length) : length_(length)
    {
        page_ = static_cast<uint8_t*>(std::calloc(1, kPage));
        if (page_ != nullptr) {
            page_[0] = reason;
        }
    }
    ~RegisterPage() override { std::free(page_); }
    RegisterPage(const RegisterPage&) = delete;
    RegisterPage& operator=(const RegisterPage&) = delete;
    bool ok() const { return page_ != nullptr; }
    void* address() override { return page_; }
    size_t length() const override { return length_; }

private:
    static constexpr size_t kPage = 4096;
    uint8_t* page_ = nullptr;
    size_t length_;
};

class MemNode final : public OpenFile {
public:
    MemNode(std::string path, Cpld& cpld, Faults& faults) : OpenFile(std::move(path)), cpld_(cpld), faults_(faults)
    {
    }
    ssize_t read(void*, size_t) override { return fail(EPERM); } // the card's kernel allows mappings only
    ssize_t write(const void*, size_t) override { return fail(EPERM); }

    std::unique_ptr<Mapping> mmap(size_t length, int prot, int flags, off_t offset) override
    {
        // The offset is a physical address; on the card it fills all 32 bits of an off_t.
        const auto physical = static_cast<uint64_t>(static_cast<std::make_unsigned_t<off_t>>(offset));
        if (faults_.act(Fault::CpldUnmapped)) {
            errno = EPERM; // the kernel refuses the CPLD's range to user space
            return nullptr;
        }
        if (physical != kCpldAddress || length > 4096 || (prot & PROT_WRITE) != 0 || (flags & MAP_SHARED) != 0) {
            errno = EINVAL; // nothing else of the card's address space is offered here
            return nullptr;
        }
        auto page = std::make_unique<RegisterPage>(cpld_.reason(), length);
        if (!page->ok()) {
            errno = ENOMEM;
            return nullptr;
        }
        return page;
    }

private:
    Cpld& cpld_;
    Faults& faults_;
};

} // namespace

Cpld::Cpld(std::filesystem::path file, Faults& faults, std::optional<uint8_t> reason)
    : file_(std::move(file)), faults_(faults)
{
    if (const auto stored = load_state_bytes(file_, 1, "the CPLD's reset reason")) {
        reason_ = (*stored)[0];
    }
    if (reason && *reason != reason_) {
        reason_ = *reason;
        if (!save_state_bytes(file_, {reason_})) {
            throw std::runtime_error("the CPLD's reset reason '" + file_.string() +
                                     "' cannot be kept: " + std::strerror(errno));
        }
    }
}

bool Cpld::reset_for(uint8_t reason)
{
    reason_ = reason;
    return save_state_bytes(file_, {reason_});
}

std::unique_ptr<OpenFile> Cpld::open_mem(const std::string& path, int)
{
    return std::make_unique<MemNode>(path, *this, faults_);
}

} // namespace kmb::sim
