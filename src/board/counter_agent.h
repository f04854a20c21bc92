// The fixture's counter agent at 0x1F: its default registers and its bus test.
#pragma once

namespace kmb {

// Polarity 0xF0, output 0x00, config 0xFF (all pins inputs); always 0.
int counter_agent_set_defaults(int fd);
// 0 when the three registers hold their defaults; 1 otherwise, with what was read.
int counter_agent_check_defaults(int fd);
// Menu 3: the defaults, then pin 7 driven high and low and read back.
int counter_agent_i2c_test();

} // namespace kmb
