// The fixture's two 8-bit I2C I/O ports (PCA9557 compatible) as the diagnostic sees them:
// their addresses, what each pin is wired to, and the register access both ports share.
#pragma once

#include <cstdint>

#include "devices/pca9557_regs.h"

namespace kmb {

inline constexpr uint16_t IOX_ADDRESS = 0x18;           // the I/O expander
inline constexpr uint16_t COUNTER_AGENT_ADDRESS = 0x1F; // the counter agent

// I/O expander pins.
inline constexpr uint8_t IOX_FAIL = 0x02;       // the fixture's fail lamp
inline constexpr uint8_t IOX_PASS = 0x04;       // the fixture's pass lamp
inline constexpr uint8_t IOX_AGENT_IRQ = 0x08;  // drives the host agent's IRQ line, low asserts
inline constexpr uint8_t IOX_AGENT_IIRQ = 0x10; // drives the host agent's IIRQ line, low asserts

// Counter agent pins.
inline constexpr uint8_t CA_RESET_PRIMARY = 0x01;   // low pulse: reset into the primary image
inline constexpr uint8_t CA_RESET_SECONDARY = 0x02; // low pulse: reset into the secondary image
inline constexpr uint8_t CA_LOOP_PIN = 0x80;        // pin 7, looped back by the fixture

// The counter agent's defaults, which are also the port's power-on values.
inline constexpr uint8_t CA_DEFAULT_OUTPUT = 0x00;
inline constexpr uint8_t CA_DEFAULT_POLARITY = 0xF0;
inline constexpr uint8_t CA_DEFAULT_CONFIG = 0xFF;

// One two-byte transfer: register number, then value. Callers do not check it.
void io_port_write_reg(int fd, uint8_t reg, uint8_t value);
// `*reg` holds the register number on entry and the register's value on success; 0 read,
// 1 failed (reported with perror).
int expander_read_reg(int fd, uint8_t* reg);

} // namespace kmb
