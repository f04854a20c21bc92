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

// "i2c 0x1f w 01 00", "i2c 0x1f r 80", "i2c 0x48 w nack", and the bus that carried it
void note_transfer(Trace& trace, const char* bus, uint16_t address, char direction, const uint8_t* data,
                   std::size_t count, bool acked)
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
    trace.note_on_bus(std::move(line), bus);
}

} // namespace

bool I2cBus::write(uint16_t address, const uint8_t* data, std::size_t count)
{
    return transfer(address, false, const_cast<uint8_t*>(data), count);
}

bool I2cBus::read(uint16_t address, uint8_t* data, std::size_t count) { return transfer(address, true, data, count); }

bool I2cBus::transfer(uint16_t address, bool reading, uint8_t* data, std::size_t count)
{
    I2cDevice* slave = at(address);
    if (slave != nullptr && faults_ != nullptr && !faults_->passes(address, reading)) {
        slave = nullptr;
    }
    const int64_t start_us = clock_.now_us();
    spend_bus_time(slave != nullptr ? count : 0);
    const bool acked = slave != nullptr && (reading ? slave->i2c_read(data, count) : slave->i2c_write(data, count));
    if (trace_.enabled()) {
        note_transfer(trace_, name_, address, reading ? 'r' : 'w', data, count, acked);
        trace_.i2c(I2cTransfer{start_us, address, reading, slave != nullptr, acked, data, slave != nullptr ? count : 0});
    }
    return acked;
}

} // namespace kmb::sim
