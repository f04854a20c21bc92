// Running all tests together: the comprehensive pass and run, the factory's FVT and ESS
// sequences, and what frames them (the date line, the FAILED banner), plus the card's identity.
#pragma once

namespace kmb {

// One pass of every test with the verdict line; the sum of the tests' results.
int comprehensive_test();
// Repeats comprehensive_test by loop, count and stop-on-error; the last pass's result.
int run_comprehensive();
void run_fvt();
void run_ess();
void print_current_date();
void print_failed_banner();
// Menu 70: the card's part, serial, revision and Ethernet address; always 0.
int show_card_info();

} // namespace kmb
