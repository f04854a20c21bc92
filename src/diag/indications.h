// The fixture's pass and fail lamps on the I/O expander, which every test drives: cleared when a
// test starts, one of them lit by its verdict.
#pragma once

namespace kmb {

void indicate_clear();
void indicate_pass();
void indicate_fail();

} // namespace kmb
