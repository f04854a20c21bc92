// The LM77 temperature sensor's register map, as its datasheet numbers it: shared by the
// driver, the simulated chip and their tests.
#pragma once

#include <cstdint>

namespace kmb {

// Register numbers, the pointer byte of every transfer.
inline constexpr uint8_t LM77_REG_TEMP = 0;   // 16 bit, read only: temperature and status flags
inline constexpr uint8_t LM77_REG_CONFIG = 1; // 8 bit
inline constexpr uint8_t LM77_REG_THYST = 2;  // 16 bit: hysteresis of every limit
inline constexpr uint8_t LM77_REG_TCRIT = 3;  // 16 bit: critical limit (T_CRIT_A output)
inline constexpr uint8_t LM77_REG_TLOW = 4;   // 16 bit: low limit (INT output)
inline constexpr uint8_t LM77_REG_THIGH = 5;  // 16 bit: high limit (INT output)

// Configuration bits.
inline constexpr uint8_t LM77_CFG_SHUTDOWN = 0x01;
inline constexpr uint8_t LM77_CFG_INT_MODE = 0x02;      // set: interrupt mode; clear: comparator
inline constexpr uint8_t LM77_CFG_TCRIT_POL = 0x04;     // set: T_CRIT_A active high
inline constexpr uint8_t LM77_CFG_INT_POL = 0x08;       // set: INT active high
inline constexpr uint8_t LM77_CFG_FAULT_QUEUE = 0x10;

// Status flags in the three low bits of the temperature register.
inline constexpr uint16_t LM77_STATUS_LOW = 0x0001;
inline constexpr uint16_t LM77_STATUS_HIGH = 0x0002;
inline constexpr uint16_t LM77_STATUS_CRIT = 0x0004;

// Temperature words: bit 3 is half a degree, bits 12 to 4 whole degrees in two's complement
// with the sign in bit 12 (and copied into bits 15 to 13).
inline constexpr int LM77_HALF_DEGREE_SHIFT = 3;

} // namespace kmb
