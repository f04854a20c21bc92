#include "sim/chips/i2c_bus.h"

#include "sim/core/clock.h"
#include "sim/core/i2c_faults.h"
#include "sim/core/trace.h"

#include <cstdio>
#include <string>

namespace kmb::sim {

void I2cBus::attach(uint16_t address, I2cDevice* device)
{
    if (address < slaves_.size()) {
        slaves_[address] = device;
    }
}

void I2cBus::detach(uint16_t address) { attach(address, nullptr); }

bool I2cBus::answers(uint16_t address)
{
    return at(address) != nullptr && (faults_ == nullptr || faults_->acknowledges(address));
}

I2cDevice* I2cBus::at(uint16_t address) const { return address < slaves_.size() ? slaves_[address] : nullptr; }

void I2cBus::spend_bus_time(std::size_t bytes)
{
    // Start, address byte, data bytes, stop: nine clocks a byte at 100 kHz.
    clock_.advance(static_cast<int64_t>((bytes + 1) * 90 + 10));
}

namespace {

// "i2c 0x1f w 01 00", "i2c 0x1f r 80", "i2c 0x48 w nack"
void note_transfer(Trace& trace, uint16_t address, char direction, const uint8_t* data, std::size_t count, bool acked)
{
    if (!trace.enabled()) {
        return;
    }
    char head[24];
    std::snprintf(head, sizeof head, "i2c 0x%02x %c", address, direction);
    std::string line = head;
    if (!acked) {
        line += " nack";
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            char byte[4];
            std::snprintf(byte, sizeof byte, " %02x", data[i]);
            line += byte;
        }
    }
    trace.note(std::move(line));
}

} // namespace

bool I2cBus::write(uint16_t address, const uint8_t* data, std::size_t count)
{
    I2cDevice* slave = at(address);
    if (slave != nullptr && faults_ != nullptr && !faults_->passes(address, false)) {
        slave = nullptr;
    }
    spend_bus_time(slave != nullptr ? count : 0);
    const bool acked = slave != nullptr && slave->i2c_write(data, count);
    note_transfer(trace_, address, 'w', data, count, acked);
    return acked;
}

bool I2cBus::read(uint16_t address, uint8_t* data, std::size_t count)
{
    I2cDevice* slave = at(address);
    if (slave != nullptr && faults_ != nullptr && !faults_->passes(address, true)) {
        slave = nullptr;
    }
    spend_bus_time(slave != nullptr ? count : 0);
    const bool acked = slave != nullptr && slave->i2c_read(data, count);
    note_transfer(trace_, address, 'r', data, count, acked);
    return acked;
}

} // namespace kmb::sim
