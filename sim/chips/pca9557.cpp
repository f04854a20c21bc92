#include "sim/chips/pca9557.h"

#include "devices/pca9557_regs.h"

namespace kmb::sim {

namespace {

// The chip decodes only the two low bits of the command byte.
constexpr uint8_t kPointerMask = 0x03;

// Power-on values of the chip: latch low, upper nibble inverted, every pin an input.
constexpr uint8_t kPowerOnOutput = 0x00;
constexpr uint8_t kPowerOnPolarity = 0xF0;
constexpr uint8_t kPowerOnConfig = 0xFF;

} // namespace

Pca9557::Pca9557() : output_(kPowerOnOutput), polarity_(kPowerOnPolarity), config_(kPowerOnConfig) {}

uint8_t Pca9557::pins_for(uint8_t latch) const
{
    const uint8_t drive = static_cast<uint8_t>(latch & driven());
    if (pin_levels_) {
        return pin_levels_(driven(), drive);
    }
    return static_cast<uint8_t>(drive | static_cast<uint8_t>(~driven()));
}

uint8_t Pca9557::pins() const { return pins_for(latch()); }

uint8_t Pca9557::register_for(uint8_t reg, uint8_t latch) const
{
    switch (reg & kPointerMask) {
    case REG_INPUT:
        return static_cast<uint8_t>(pins_for(latch) ^ polarity());
    case REG_OUTPUT:
        return latch;
    case REG_POLARITY:
        return polarity();
    default:
        return config_;
    }
}

uint8_t Pca9557::read_register(uint8_t reg) const { return register_for(reg, latch()); }

void Pca9557::write_register(uint8_t reg, uint8_t value)
{
    const uint8_t driven_before = driven();
    const uint8_t drive_before = static_cast<uint8_t>(latch() & driven_before);
    switch (reg & kPointerMask) {
    case REG_INPUT:
        return; // read only: the chip acknowledges and drops the byte
    case REG_OUTPUT:
        output_ = value;
        break;
    case REG_POLARITY:
        polarity_ = value;
        break;
    default:
        config_ = value;
        break;
    }
    const uint8_t drive_after = static_cast<uint8_t>(latch() & driven());
    if (stuck_shown_ && (output_stuck() & static_cast<uint8_t>(~output_) & driven()) != 0) {
        stuck_shown_(); // a pin drives high that was written low
    }
    if (outputs_changed_ && (driven() != driven_before || drive_after != drive_before)) {
        outputs_changed_(driven(), drive_after);
    }
}

bool Pca9557::i2c_write(const uint8_t* data, std::size_t count)
{
    if (count == 0) {
        return true; // an address-only probe
    }
    pointer_ = static_cast<uint8_t>(data[0] & kPointerMask);
    // No auto-increment: every further byte lands in the same register.
    for (std::size_t i = 1; i < count; ++i) {
        write_register(pointer_, data[i]);
    }
    return true;
}

bool Pca9557::i2c_read(uint8_t* data, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        data[i] = register_for(pointer_, latch());
        // Only a stuck bit over a written 0 can change what the bus sees.
        const bool may_show = (output_stuck() & static_cast<uint8_t>(~output_)) != 0 &&
                              (pointer_ == REG_OUTPUT || pointer_ == REG_INPUT);
        if (stuck_shown_ && may_show && data[i] != register_for(pointer_, output_)) {
            stuck_shown_();
        }
        if (polarity_stuck_shown_ && pointer_ == REG_POLARITY && (polarity_stuck() & ~polarity_) != 0) {
            polarity_stuck_shown_();
        }
    }
    return true;
}

} // namespace kmb::sim
