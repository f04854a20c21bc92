// Reading what the operator typed: numbers as atoi reads them, arguments at a fixed column.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kmb {

// Leading blanks, a sign and decimal digits, as atoi reads them; no number gives 0. Values
// beyond 32 bits are held at the nearest limit instead of overflowing.
int32_t parse_number(const char* text);

// The text of `line` from `column` on, or "" when the line is shorter than that.
const char* text_from(const char* line, std::size_t column);

} // namespace kmb
