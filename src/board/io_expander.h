// The fixture's I/O expander at 0x18 and the register access shared with the counter agent:
// start-up configuration and the pass and fail indications every test drives.
#pragma once

#include <cstdint>

#include "devices/io_port.h"

namespace kmb {

// One two-byte transfer: register number, then value. Callers do not check it.
void io_port_write_reg(int fd, uint8_t reg, uint8_t value);
// `*reg` holds the register number on entry and the register's value on success; 0 read,
// 1 failed (reported with perror).
int expander_read_reg(int fd, uint8_t* reg);

// Configures the expander's pins; 1 when it cannot be opened (nothing written), else 0.
int io_expander_init();

void indicate_clear();
void indicate_pass();
void indicate_fail();

} // namespace kmb
