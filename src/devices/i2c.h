// The card's I2C bus 0 through i2c-dev: one descriptor per slave address.
#pragma once

namespace kmb {

inline constexpr int I2C_BUS_NUMBER = 0;

// Opens /dev/i2c/0 and binds it to `address` (7 bit). Returns ERR_NONE with `fd` open for
// the caller to close, or ERR_I2C (logged) with nothing left open. `fd` is written in every
// case, also with a negative value, and must not be used after a failure.
int i2c_dev_open(int* fd, unsigned address);

// The bus's device path, "/dev/i2c/0".
const char* i2c_dev_path();

} // namespace kmb
