// /dev/i2c/0 as the card's i2c-dev driver serves it: a descriptor is bound to one slave
// address with I2C_SLAVE or I2C_SLAVE_FORCE (refused with ENXIO where nothing answers, as the
// card's adapter does), then read() and write() are plain transfers to that slave and
// I2C_SMBUS runs SMBus byte and word transfers on it.
#pragma once

#include <cstdint>
#include <linux/i2c.h>

#include "sim/chips/i2c_bus.h"
#include "sim/core/open_file.h"
#include "sim/core/trace.h"

namespace kmb::sim {

class I2cDevNode final : public OpenFile {
public:
    // Every ioctl is noted in `trace` with its request number: "ioctl /dev/i2c/0 0x0706 0x18".
    I2cDevNode(std::string path, I2cBus& bus, Trace& trace) : OpenFile(std::move(path)), bus_(bus), trace_(trace) {}

    ssize_t read(void* buf, size_t count) override;
    ssize_t write(const void* buf, size_t count) override;
    int ioctl(unsigned long request, unsigned long arg) override;

private:
    int bind_slave(unsigned long address);
    int smbus(unsigned long arg);
    uint16_t target() const;
    void note_smbus(uint16_t address, uint32_t size, bool reading, uint8_t command, const i2c_smbus_data* data,
                    bool acked);

    I2cBus& bus_;
    Trace& trace_;
    int address_ = -1; // not bound yet
};

} // namespace kmb::sim
