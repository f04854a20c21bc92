#include "devices/lm77.h"

#include <cstdio>
#include <cstring>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <syslog.h>

#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/log.h"
#include "os/os.h"

namespace kmb {

Lm77State lm77_state;

namespace {

constexpr int kLm77Tries = 2;

constexpr Lm77RegName kRegNames[] = {
    {"temp", LM77_REG_TEMP, 1},
    {"lo", LM77_REG_TLOW, 0},
    {"hi", LM77_REG_THIGH, 0},
    {"crit", LM77_REG_TCRIT, 0},
};

// The sensor puts the most significant byte on the wire first; an SMBus word arrives the other
// way round, so every word is swapped on its way in and out.
int swap_bytes(int word) { return ((word & 0xFF) << 8) | ((word >> 8) & 0xFF); }

bool is_byte_register(int reg) { return reg == LM77_REG_CONFIG; }

// The one SMBus transfer of every register access.
int smbus_transfer(int fd, uint8_t direction, int reg, i2c_smbus_data* data)
{
    i2c_smbus_ioctl_data request{};
    request.read_write = direction;
    request.command = static_cast<uint8_t>(reg);
    request.size = is_byte_register(reg) ? I2C_SMBUS_BYTE_DATA : I2C_SMBUS_WORD_DATA;
    request.data = data;
    return os::ioctl(fd, I2C_SMBUS, &request);
}

} // namespace

int lm77_read_reg(int fd, int reg, int* value)
{
    for (int attempt = 0; attempt < kLm77Tries; ++attempt) {
        i2c_smbus_data data;
        std::memset(&data, 0, sizeof data);
        if (smbus_transfer(fd, I2C_SMBUS_READ, reg, &data) >= 0) {
            *value = is_byte_register(reg) ? data.byte : swap_bytes(data.word);
            return ERR_NONE;
        }
        log_msg(LOG_DEBUG, "Error reading register 0x%02x, try %d\n", reg, attempt);
    }
    *value = -1;
    return ERR_READ;
}

int lm77_write_reg(int fd, int reg, int value)
{
    for (int attempt = 0; attempt < kLm77Tries; ++attempt) {
        i2c_smbus_data data;
        std::memset(&data, 0, sizeof data);
        if (is_byte_register(reg)) {
            data.byte = static_cast<uint8_t>(value & 0xFF);
        } else {
            data.word = static_cast<uint16_t>(swap_bytes(value & 0xFFFF));
        }
        if (smbus_transfer(fd, I2C_SMBUS_WRITE, reg, &data) >= 0) {
            return ERR_NONE;
        }
        log_msg(LOG_DEBUG, "Error writing 0x%04x to register 0x%02x\n", value, reg);
    }
    return ERR_WRITE;
}

int lm77_to_celsius(int value)
{
    int celsius = value >> 4;
    if ((value & 0x1000) != 0) {
        celsius = static_cast<int>(static_cast<unsigned>(celsius) | 0xFFFFFF00u);
    }
    return celsius;
}

int lm77_from_celsius(int celsius)
{
    if (celsius < LM77_MIN_CELSIUS) {
        celsius = LM77_MIN_CELSIUS;
    } else if (celsius > LM77_MAX_CELSIUS) {
        celsius = LM77_MAX_CELSIUS;
    }
    return static_cast<int>((static_cast<unsigned>(celsius) * 16u) & 0xFFF0u);
}

int lm77_init()
{
    int fd = -1;
    if (i2c_dev_open(&fd, LM77_ADDRESS) != ERR_NONE) {
        return ERR_I2C;
    }
    int sum = lm77_write_reg(fd, LM77_REG_CONFIG, LM77_START_CONFIG);
    sum += lm77_write_reg(fd, LM77_REG_THYST, lm77_from_celsius(LM77_START_THYST));
    sum += lm77_write_reg(fd, LM77_REG_TCRIT, lm77_from_celsius(LM77_START_TCRIT));
    sum += lm77_write_reg(fd, LM77_REG_TLOW, lm77_from_celsius(LM77_START_TLOW));
    sum += lm77_write_reg(fd, LM77_REG_THIGH, lm77_from_celsius(LM77_START_THIGH));

    struct Cached {
        int reg;
        int* into;
    };
    const Cached reads[] = {
        {LM77_REG_TEMP, &lm77_state.temp},
        {LM77_REG_TLOW, &lm77_state.t_low},
        {LM77_REG_THIGH, &lm77_state.t_high},
        {LM77_REG_TCRIT, &lm77_state.t_crit},
    };
    for (const Cached& r : reads) {
        int value = -1;
        sum += lm77_read_reg(fd, r.reg, &value);
        *r.into = lm77_to_celsius(value & 0xFFFF); // a failed read's -1 reads as -1 degree
    }
    os::close(fd);
    lm77_update_zone();
    return sum;
}

int lm77_update_zone()
{
    const Lm77State& s = lm77_state;
    if (s.temp <= s.t_low) {
        lm77_state.zone = LM77_ZONE_LOW;
    } else if (s.temp >= s.t_crit) {
        lm77_state.zone = LM77_ZONE_CRITICAL;
    } else if (s.temp >= s.t_high) {
        lm77_state.zone = LM77_ZONE_HIGH;
    } else {
        lm77_state.zone = LM77_ZONE_NORMAL;
    }
    return 0;
}

int lm77_set_cached_limit(int reg, int celsius)
{
    switch (reg) {
    case LM77_REG_TCRIT:
        lm77_state.t_crit = celsius;
        break;
    case LM77_REG_TLOW:
        lm77_state.t_low = celsius;
        break;
    case LM77_REG_THIGH:
        lm77_state.t_high = celsius;
        break;
    default:
        break;
    }
    return 0;
}

int lm77_print_reg_names(int mode)
{
    const int rows = static_cast<int>(sizeof kRegNames / sizeof kRegNames[0]);
    for (int i = 0; i < rows; ++i) {
        if (mode == 1 && kRegNames[i].read_only != 0) {
            continue;
        }
        std::printf("%s%s", kRegNames[i].name, i == rows - 1 ? "]" : " | ");
    }
    if (mode == 1) {
        std::printf(" <value(C)>\n");
    }
    std::printf("\n");
    return 0;
}

int lm77_reg_by_name(const char* name, int* read_only)
{
    for (const Lm77RegName& row : kRegNames) {
        if (name != nullptr && std::strcmp(name, row.name) == 0) {
            *read_only = row.read_only;
            return row.reg;
        }
    }
    return -1;
}

const char* lm77_reg_name(int reg)
{
    for (const Lm77RegName& row : kRegNames) {
        if (row.reg == reg) {
            return row.name;
        }
    }
    return nullptr;
}

} // namespace kmb
