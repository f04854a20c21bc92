// The host agent's side of the card on the fixture: its I2C bus, checked through the I/O
// expander's polarity register, and its IRQ and IIRQ lines, which the expander pulses so that
// the card can watch the kernel count exactly one interrupt.
#pragma once

namespace kmb {

int agent_irq_test();
int agent_iirq_test();
int agent_i2c_bus_test();

} // namespace kmb
