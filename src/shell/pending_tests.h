// Tests and start-up steps of the card whose modules have not landed in the diagnostic yet.
// Each stands in with no output and a pass, so that the menus and sequences are complete;
// each is removed here when its module brings the real one.
#pragma once

#include <cstdint>

namespace kmb {

int memory_test();
int eth_loopback_test();
int phy_dump_regs();
int phy_edit_reg();
int watchdog_reset_test();
int reset_primary_test();
int reset_secondary_test();
int eth_loopback_menu20();
int eth_loopback_menu21();
int eth_loopback_menu22();
int eth_loopback_menu23();
int eth_loopback_menu24();

int read_cpld_reset_reason(uint8_t* reason);
void verify_reset_markers(uint8_t reason);

} // namespace kmb
