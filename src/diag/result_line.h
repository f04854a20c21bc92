// How every test that gives a verdict ends: its label (its name and dots to 40 characters),
// PASSED or FAILED, the hint box after a failure, and the fixture's pass or fail lamp.
#pragma once

#include <span>

namespace kmb {

inline constexpr int RESULT_LABEL_WIDTH = 40;

// Prints `label` (exactly RESULT_LABEL_WIDTH characters; only the Ethernet loopback's label,
// composed of its setting's pieces, is wider) and the verdict, the `hints` after FAILED, and
// sets the indication. Returns 0 when passed, 1 when failed.
int report_result(const char* label, int failed, std::span<const char* const> hints = {});

} // namespace kmb
