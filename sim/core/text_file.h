// A read-only file whose whole text was made when it was opened, as the kernel's /proc files
// are: reads walk through it, and a later change of what it shows needs a new open.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "sim/core/open_file.h"

namespace kmb::sim {

class TextFile final : public OpenFile {
public:
    TextFile(std::string path, std::string text) : OpenFile(std::move(path)), text_(std::move(text)) {}

    ssize_t read(void* buf, size_t count) override
    {
        const size_t n = std::min(count, text_.size() - offset_);
        if (n > 0) {
            std::memcpy(buf, text_.data() + offset_, n);
        }
        offset_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const void*, size_t) override { return fail(EBADF); }

private:
    std::string text_;
    size_t offset_ = 0;
};

} // namespace kmb::sim
