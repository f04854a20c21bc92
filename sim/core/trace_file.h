// The trace as a text file: one event a line, its card time first in seconds with six
// decimals ("12.000345 i2c 0x1f w 01 00 on /dev/i2c/0"), so that two runs of the same input
// diff cleanly.
#pragma once

#include <cstdio>

#include "sim/core/trace.h"

namespace kmb::sim {

class TraceFile final : public TraceSink {
public:
    // Writes to `out`, which stays the caller's.
    explicit TraceFile(FILE* out) : out_(out) {}
    void line(int64_t us, std::string_view text) override;
    // Whether a write failed (a full disk): the caller says so at the end of the run.
    bool failed() const { return failed_; }

private:
    FILE* out_;
    bool failed_ = false;
};

} // namespace kmb::sim
