// The LM77 temperature sensor on the card's I2C bus at 0x48: register access with one retry,
// the conversion between its temperature words and whole degrees, the start-up programming
// with its cache of the temperature and limits, the zone, and the register names that the
// daemons' command-line front ends use.
#pragma once

#include <cstdint>

#include "devices/lm77_regs.h"

namespace kmb {

inline constexpr unsigned LM77_ADDRESS = 0x48;

// The start-up programming: fault queue on, INT in interrupt mode, both outputs active low.
inline constexpr uint8_t LM77_START_CONFIG = 0x12;
inline constexpr int LM77_START_THYST = 2;
inline constexpr int LM77_START_TCRIT = 65;
inline constexpr int LM77_START_TLOW = 10;
inline constexpr int LM77_START_THIGH = 55;
// T_CRIT while the card is critical, so that T_CRIT_A can be let go.
inline constexpr int LM77_TCRIT_WHILE_CRITICAL = 125;

inline constexpr int LM77_MIN_CELSIUS = -55;
inline constexpr int LM77_MAX_CELSIUS = 125;

enum Lm77Zone : int {
    LM77_ZONE_NORMAL = 0,
    LM77_ZONE_LOW = 1,
    LM77_ZONE_HIGH = 2,
    LM77_ZONE_CRITICAL = 3,
};

// The process's picture of the sensor, whole degrees.
struct Lm77State {
    int temp;
    int t_low;
    int t_high;
    int t_crit;
    int zone;
};

extern Lm77State lm77_state;

struct Lm77RegName {
    const char* name;
    int reg;
    int read_only;
};

// On a descriptor bound to the sensor. A read stores the configuration byte (register 1) or
// the word in the sensor's order (the others), or -1 when both tries failed: 0 or ERR_READ.
int lm77_read_reg(int fd, int reg, int* value);
// Writes the low 8 bits (register 1) or the low 16 bits: 0 or ERR_WRITE after two tries.
int lm77_write_reg(int fd, int reg, int value);

// Whole degrees of a temperature word (the half degree dropped, rounding down).
int lm77_to_celsius(int value);
// The word of whole degrees, clamped to the sensor's range.
int lm77_from_celsius(int celsius);

// Programs the configuration and the limits and fills the cache; ERR_I2C when the sensor
// cannot be opened, else the sum of the nine register results.
int lm77_init();
// The zone of the cached temperature against the cached limits; 0.
int lm77_update_zone();
// Stores a limit of register 3, 4 or 5 into the cache (other registers are ignored); 0.
int lm77_set_cached_limit(int reg, int celsius);

// The register names: mode 1 lists the writable ones with the value hint, others all.
int lm77_print_reg_names(int mode);
// The register of `name` (exact match), with its read-only flag; -1 when unknown.
int lm77_reg_by_name(const char* name, int* read_only);
// The name of `reg`, or nullptr when no row has it.
const char* lm77_reg_name(int reg);

} // namespace kmb
