// What the top-level menu shows of the card itself: the diagnostic's version text and the
// warning for a pre-production board.
#pragma once

#include <cstddef>
#include <cstdio>

namespace kmb {

inline constexpr std::size_t DIAG_VERSION_SIZE = 30;

// Fills `buf` from the card's version script; "unknown" when its output cannot be read.
void get_diag_version(char* buf, std::size_t size);

// Prints the pre-production warning for a revision that does not begin with a letter, or an
// empty line for a production board.
void check_board_revision();

// The two characters after "rev#=" in the environment tool's output, as `rev` (terminated);
// what the stream lacks reads as the end of the text.
void read_revision(FILE* env, char rev[3]);

} // namespace kmb
