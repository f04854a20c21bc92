// The card's LM77 temperature sensor as its datasheet describes it: a register pointer, then
// data with the most significant byte first; a temperature word with three status flags; the
// INT output (comparator or interrupt mode) watching T_HIGH and T_LOW, and the T_CRIT_A
// output in comparator mode watching T_CRIT, each with the T_HYST hysteresis.
#pragma once

#include <cstdint>
#include <functional>

#include "sim/chips/i2c_bus.h"

namespace kmb::sim {

class Lm77 final : public I2cDevice {
public:
    // The two outputs as the card's interrupt controller sees them: true while the pin is
    // low, which is how the card's lines are asserted. Told after every change.
    using OutputsChanged = std::function<void(bool int_low, bool crit_low)>;

    explicit Lm77(int temperature_half_degrees = 50);

    void set_outputs_changed(OutputsChanged fn) { outputs_changed_ = std::move(fn); }
    // The die temperature in half degrees Celsius; the comparisons run at once.
    void set_temperature_half_degrees(int half_degrees);

    bool i2c_write(const uint8_t* data, std::size_t count) override;
    bool i2c_read(uint8_t* data, std::size_t count) override;

    // What the bus would read from a register, without the read's side effect.
    uint16_t register_word(uint8_t reg) const;
    bool int_low() const;
    bool crit_low() const;

private:
    void write_register(uint8_t reg, uint16_t word);
    void evaluate();
    void tell();

    int temp_;   // half degrees, as every limit below
    uint8_t config_ = 0;
    int hyst_;
    int crit_;
    int low_;
    int high_;
    bool above_high_ = false;  // past T_HIGH and not yet back below T_HIGH - T_HYST
    bool below_low_ = false;   // past T_LOW and not yet back above T_LOW + T_HYST
    bool int_latched_ = false; // interrupt mode: an event not yet read
    bool crit_active_ = false;

    uint8_t pointer_ = 0;
    uint8_t pending_msb_ = 0; // a word write's first byte
    bool int_low_told_ = false;
    bool crit_low_told_ = false;
    OutputsChanged outputs_changed_;
};

} // namespace kmb::sim
