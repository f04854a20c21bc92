// Reading what the operator typed: numbers as atoi reads them, arguments at a fixed column.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kmb {

// Leading blanks, a sign and digits of `base` (16 also takes "0x"), as atoi and strtol read
// them; no number gives 0. Values beyond 32 bits are held at the nearest limit instead of
// overflowing, as the card's 32-bit strtol holds them.
int32_t parse_number(const char* text, int base = 10);

// The text of `line` from `column` on, or "" when the line is shorter than that.
const char* text_from(const char* line, std::size_t column);

} // namespace kmb
