// I2C bus 0 of the card: the slaves that answer at their 7-bit addresses. A transfer to an
// address where nothing answers is not acknowledged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kmb::sim {

class VirtualClock;
class Trace;
class I2cFaultLayer;

// One slave on the bus, seen from the bus: a write transfer hands it bytes, a read transfer
// asks it for bytes. A false result is a missing acknowledge (the adapter reports EIO).
class I2cDevice {
public:
    virtual ~I2cDevice() = default;
    virtual bool i2c_write(const uint8_t* data, std::size_t count) = 0;
    virtual bool i2c_read(uint8_t* data, std::size_t count) = 0;
};

class I2cBus {
public:
    // The card's bus 0, reached through this device node; its trace lines name it.
    static constexpr const char* kCardBus = "/dev/i2c/0";

    // `faults`, when given, stands between the adapter and every slave.
    I2cBus(VirtualClock& clock, Trace& trace, I2cFaultLayer* faults = nullptr, const char* name = kCardBus)
        : clock_(clock), trace_(trace), faults_(faults), name_(name)
    {
    }

    void attach(uint16_t address, I2cDevice* device);
    void detach(uint16_t address);
    // Whether a slave acknowledges its address (what the card's adapter checks at binding).
    bool answers(uint16_t address);

    // One transfer each; they take the bus time of their bytes at 100 kHz on the clock.
    bool write(uint16_t address, const uint8_t* data, std::size_t count);
    bool read(uint16_t address, uint8_t* data, std::size_t count);

private:
    I2cDevice* at(uint16_t address) const;
    void spend_bus_time(std::size_t bytes);
    // A write only reads `data`.
    bool transfer(uint16_t address, bool reading, uint8_t* data, std::size_t count);

    VirtualClock& clock_;
    Trace& trace_;
    I2cFaultLayer* faults_;
    const char* name_;
    std::array<I2cDevice*, 128> slaves_{};
};

} // namespace kmb::sim
