// Tests and start-up steps of the card whose modules have not landed in the diagnostic yet.
// Each stands in with no output and a pass, so that the menus and sequences are complete;
// each is removed here when its module brings the real one.
#pragma once

#include <cstdint>

namespace kmb {

int watchdog_reset_test();
int reset_primary_test();
int reset_secondary_test();

int read_cpld_reset_reason(uint8_t* reason);
void verify_reset_markers(uint8_t reason);

} // namespace kmb
