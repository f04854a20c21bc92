// The register map of the PCA9557-compatible 8-bit I/O port, as its datasheet numbers it:
// shared by the diagnostic's driver, the simulated chip and their tests.
#pragma once

#include <cstdint>

namespace kmb {

// Register numbers, the first byte of every transfer.
inline constexpr uint8_t REG_INPUT = 0;    // pin levels after polarity inversion; read only
inline constexpr uint8_t REG_OUTPUT = 1;   // levels driven on the output pins
inline constexpr uint8_t REG_POLARITY = 2; // bit set: the pin reads inverted
inline constexpr uint8_t REG_CONFIG = 3;   // bit set: input; clear: output

} // namespace kmb
