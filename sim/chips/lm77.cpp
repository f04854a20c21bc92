#include "sim/chips/lm77.h"

#include "devices/lm77_regs.h"

namespace kmb::sim {

namespace {

// The chip's power-on limits, in half degrees.
constexpr int kPowerOnHyst = 2 * 2;
constexpr int kPowerOnCrit = 80 * 2;
constexpr int kPowerOnLow = 10 * 2;
constexpr int kPowerOnHigh = 64 * 2;

constexpr uint8_t kLastRegister = LM77_REG_THIGH;

// A limit keeps bits 12 to 3: nine bits of degrees, the half degree and the sign.
int half_degrees_of(uint16_t word)
{
    int v = (word >> LM77_HALF_DEGREE_SHIFT) & 0x3FF;
    return (v & 0x200) != 0 ? v - 0x400 : v;
}

uint16_t word_of(int half_degrees)
{
    return static_cast<uint16_t>(static_cast<unsigned>(half_degrees) << LM77_HALF_DEGREE_SHIFT);
}

} // namespace

Lm77::Lm77(int temperature_half_degrees)
    : temp_(temperature_half_degrees), hyst_(kPowerOnHyst), crit_(kPowerOnCrit), low_(kPowerOnLow),
      high_(kPowerOnHigh)
{
    evaluate();
    int_latched_ = false; // a power-on state is no event
    int_low_told_ = int_low();
    crit_low_told_ = crit_low();
}

void Lm77::set_temperature_half_degrees(int half_degrees)
{
    temp_ = half_degrees;
    evaluate();
    tell();
}

uint16_t Lm77::register_word(uint8_t reg) const
{
    switch (reg) {
    case LM77_REG_TEMP: {
        uint16_t status = 0;
        status |= below_low_ ? LM77_STATUS_LOW : 0;
        status |= above_high_ ? LM77_STATUS_HIGH : 0;
        status |= crit_active_ ? LM77_STATUS_CRIT : 0;
        return static_cast<uint16_t>(word_of(temp_) | status);
    }
    case LM77_REG_CONFIG:
        return config_;
    case LM77_REG_THYST:
        return word_of(hyst_);
    case LM77_REG_TCRIT:
        return word_of(crit_);
    case LM77_REG_TLOW:
        return word_of(low_);
    case LM77_REG_THIGH:
        return word_of(high_);
    default:
        return 0;
    }
}

bool Lm77::int_low() const
{
    const bool active = (config_ & LM77_CFG_INT_MODE) != 0 ? int_latched_ : (above_high_ || below_low_);
    const bool active_high = (config_ & LM77_CFG_INT_POL) != 0;
    return active != active_high;
}

bool Lm77::crit_low() const
{
    const bool active_high = (config_ & LM77_CFG_TCRIT_POL) != 0;
    return crit_active_ != active_high;
}

void Lm77::evaluate()
{
    // Each window side trips on passing its limit and resets on coming back past the limit
    // and the hysteresis; in interrupt mode either move is an event that INT holds until a read.
    bool event = false;
    if (!above_high_ && temp_ > high_) {
        above_high_ = event = true;
    } else if (above_high_ && temp_ < high_ - hyst_) {
        above_high_ = false;
        event = true;
    }
    if (!below_low_ && temp_ < low_) {
        below_low_ = event = true;
    } else if (below_low_ && temp_ > low_ + hyst_) {
        below_low_ = false;
        event = true;
    }
    if (event) {
        int_latched_ = true;
    }
    // T_CRIT_A is a comparator whatever the mode.
    if (temp_ > crit_) {
        crit_active_ = true;
    } else if (temp_ < crit_ - hyst_) {
        crit_active_ = false;
    }
}

void Lm77::tell()
{
    const bool int_now = int_low();
    const bool crit_now = crit_low();
    if (int_now == int_low_told_ && crit_now == crit_low_told_) {
        return;
    }
    int_low_told_ = int_now;
    crit_low_told_ = crit_now;
    if (outputs_changed_) {
        outputs_changed_(int_now, crit_now);
    }
}

void Lm77::write_register(uint8_t reg, uint16_t word)
{
    switch (reg) {
    case LM77_REG_CONFIG:
        if (((config_ ^ word) & LM77_CFG_INT_MODE) != 0) {
            int_latched_ = false; // a change of mode starts INT afresh
        }
        config_ = static_cast<uint8_t>(word);
        break;
    case LM77_REG_THYST:
        hyst_ = half_degrees_of(word);
        break;
    case LM77_REG_TCRIT:
        crit_ = half_degrees_of(word);
        break;
    case LM77_REG_TLOW:
        low_ = half_degrees_of(word);
        break;
    case LM77_REG_THIGH:
        high_ = half_degrees_of(word);
        break;
    default:
        return; // the temperature is read only: acknowledged and dropped
    }
    evaluate();
    tell();
}

bool Lm77::i2c_write(const uint8_t* data, std::size_t count)
{
    if (count == 0) {
        return true; // an address-only probe
    }
    if (data[0] > kLastRegister) {
        return false; // no such register: the pointer byte is not acknowledged
    }
    pointer_ = data[0];
    // The configuration takes one byte; a word takes its high byte, then its low byte. Bytes
    // beyond go to the same register again.
    for (std::size_t i = 1; i < count; ++i) {
        if (pointer_ == LM77_REG_CONFIG) {
            write_register(pointer_, data[i]);
        } else if (i % 2 == 1) {
            pending_msb_ = data[i];
        } else {
            write_register(pointer_, static_cast<uint16_t>((pending_msb_ << 8) | data[i]));
        }
    }
    return true;
}

bool Lm77::i2c_read(uint8_t* data, std::size_t count)
{
    const uint16_t word = register_word(pointer_);
    for (std::size_t i = 0; i < count; ++i) {
        if (pointer_ == LM77_REG_CONFIG) {
            data[i] = static_cast<uint8_t>(word);
        } else {
            data[i] = static_cast<uint8_t>(i % 2 == 0 ? word >> 8 : word & 0xFF);
        }
    }
    // Reading any register lets go of an interrupt-mode INT.
    int_latched_ = false;
    tell();
    return true;
}

} // namespace kmb::sim
