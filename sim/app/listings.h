// What kmbdiag-sim prints when asked instead of running a card: its help and its catalogue of
// faults. Both are read by people and by the bash completion, which takes the options from
// the help and the fault names from the catalogue's indented lines.
#pragma once

#include <cstdio>

namespace kmb::sim {

void print_help(FILE* out);

// The catalogue by the test that sees each fault: a heading per group ("Seen by the serial
// port test (menu 2):"), then each of its faults indented by two blanks with its meaning, the
// meanings aligned in one column throughout.
void list_faults(FILE* out);

} // namespace kmb::sim
