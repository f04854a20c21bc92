// How the card and its test fixture are wired, as the board's description draws it: which
// address each I2C chip is strapped to, which expander pin lights which lamp or drives which
// interrupt line, which counter agent pin loops back or resets the card, and which interrupt
// line each source reaches. This is what the factory test checks, so the simulated card takes
// it from here and never from the diagnostic's own headers: a wiring slip in the diagnostic
// then fails a test instead of being mirrored by the model.
#pragma once

#include <cstdint>
#include <sys/ioctl.h>

namespace kmb::sim::wiring {

// I2C bus 0: the address pins of each chip.
inline constexpr uint16_t kIoExpanderAddress = 0x18;   // fixture, PCA9557 compatible
inline constexpr uint16_t kCounterAgentAddress = 0x1F; // fixture, PCA9557 compatible
inline constexpr uint16_t kLm77Address = 0x48;         // card, temperature sensor
inline constexpr uint16_t kHostAgentAddress = 0x57;    // host board's agent microcontroller

// The I/O expander's pins on the fixture.
inline constexpr uint8_t kFailLampPin = 0x02;
inline constexpr uint8_t kPassLampPin = 0x04;
inline constexpr uint8_t kAgentIrqPin = 0x08;  // the host agent's IRQ line, asserted while low
inline constexpr uint8_t kAgentIirqPin = 0x10; // the host agent's IIRQ line, asserted while low

// The counter agent's pins on the fixture.
inline constexpr uint8_t kResetPrimaryPin = 0x01;   // a held low resets the card into the primary image
inline constexpr uint8_t kResetSecondaryPin = 0x02; // ... into the secondary image
inline constexpr uint8_t kLoopPin = 0x80;           // pin 7, wired back on itself

// The serial port's loopback connector on the fixture: the card's transmit data comes back on
// its receive data (a plain wire, see SerialLoopback), and each modem-control output reaches
// the status inputs beside it.
struct SerialLineLoop {
    int output; // TIOCM_DTR or TIOCM_RTS
    int inputs; // what the port then reads as asserted
};
inline constexpr SerialLineLoop kSerialLineLoops[] = {
    {TIOCM_RTS, TIOCM_CTS},
    {TIOCM_DTR, TIOCM_CAR | TIOCM_DSR},
};

// Interrupt lines of the card's interrupt controller, as /proc/interrupts numbers them.
inline constexpr int kAgentIrqLine = 25;
inline constexpr int kAgentIirqLine = 26;
inline constexpr int kLm77IntLine = 27;  // LM77 INT
inline constexpr int kLm77CritLine = 28; // LM77 T_CRIT_A

} // namespace kmb::sim::wiring
