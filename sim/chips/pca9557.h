// An 8-bit I2C I/O port, register compatible with the PCA9557, as the fixture uses it twice.
// The byte protocol (a register pointer, then data) is kept apart from the register file;
// the input register is never stored: it is derived from the pins on every read.
#pragma once

#include <cstdint>
#include <functional>

#include "sim/chips/i2c_bus.h"

namespace kmb::sim {

class Pca9557 final : public I2cDevice {
public:
    // The level on every pin, given what the port drives: `driven` has a bit set for each
    // output pin, `levels` the latch levels on them. The outside decides all eight levels, so
    // that a short can overrule an output. Without it, outputs read their latch and inputs
    // read high (pulled up).
    using PinLevels = std::function<uint8_t(uint8_t driven, uint8_t levels)>;
    // Told after every register write that changed what the port drives.
    using OutputsChanged = std::function<void(uint8_t driven, uint8_t levels)>;
    // Told when a stuck latch bit changed a byte that the bus read or a level the port drives.
    using StuckShown = std::function<void()>;

    Pca9557();

    void set_pin_levels(PinLevels fn) { pin_levels_ = std::move(fn); }
    void set_outputs_changed(OutputsChanged fn) { outputs_changed_ = std::move(fn); }
    // A latch bit stuck at 1 whatever is written (a damaged output stage).
    void set_output_stuck_high(uint8_t mask) { output_stuck_high_ = mask; }
    void set_stuck_shown(StuckShown fn) { stuck_shown_ = std::move(fn); }
    // Whether the stuck bits stick at the moment (a fault that comes and goes); always without it.
    void set_stuck_while(std::function<bool()> now) { stuck_while_ = std::move(now); }
    // A polarity bit stuck at 1 whatever is written; `shown` is told when the bus reads it
    // over a written 0.
    void set_polarity_stuck_high(uint8_t mask, StuckShown shown)
    {
        polarity_stuck_high_ = mask;
        polarity_stuck_shown_ = std::move(shown);
    }

    bool i2c_write(const uint8_t* data, std::size_t count) override;
    bool i2c_read(uint8_t* data, std::size_t count) override;

    // The registers as written, for keeping the chip's state while the card is off.
    struct Registers {
        uint8_t output;
        uint8_t polarity;
        uint8_t config;
    };
    Registers registers() const { return {output_, polarity_, config_}; }
    // Puts back what registers() gave, telling nobody: the pins were at these levels already.
    void restore(const Registers& r)
    {
        output_ = r.output;
        polarity_ = r.polarity;
        config_ = r.config;
    }

    // The registers as the bus would read them, for tests and the fixture.
    uint8_t read_register(uint8_t reg) const;
    uint8_t pins() const;

private:
    void write_register(uint8_t reg, uint8_t value);
    uint8_t output_stuck() const { return sticks() ? output_stuck_high_ : 0; }
    uint8_t polarity_stuck() const { return sticks() ? polarity_stuck_high_ : 0; }
    bool sticks() const { return !stuck_while_ || stuck_while_(); }
    uint8_t latch() const { return static_cast<uint8_t>(output_ | output_stuck()); }
    uint8_t driven() const { return static_cast<uint8_t>(~config_); }
    uint8_t polarity() const { return static_cast<uint8_t>(polarity_ | polarity_stuck()); }
    uint8_t pins_for(uint8_t latch) const;
    uint8_t register_for(uint8_t reg, uint8_t latch) const;

    uint8_t pointer_ = 0;
    uint8_t output_;
    uint8_t polarity_;
    uint8_t config_;
    uint8_t output_stuck_high_ = 0;
    uint8_t polarity_stuck_high_ = 0;
    StuckShown polarity_stuck_shown_;
    PinLevels pin_levels_;
    OutputsChanged outputs_changed_;
    StuckShown stuck_shown_;
    std::function<bool()> stuck_while_;
};

} // namespace kmb::sim
