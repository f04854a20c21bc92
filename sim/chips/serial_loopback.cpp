#include "sim/chips/serial_loopback.h"

#include <sys/ioctl.h>

#include "sim/core/wiring.h"

namespace kmb::sim {

namespace {

// The byte, counted from power-on, that a flaky contact loses: it falls within the first of the
// test's passes, which sends 512.
constexpr uint64_t kDroppedByte = 300;

} // namespace

int SerialLoopback::status_inputs(int outputs)
{
    int inputs = 0;
    // The fault acts only when a line is driven: with both outputs low a missing plug and a
    // present one read the same.
    const bool plugged = !((outputs & (TIOCM_DTR | TIOCM_RTS)) != 0 && faults_.act(Fault::SerialNoLoopback));
    if (plugged) {
        for (const wiring::SerialLineLoop& loop : wiring::kSerialLineLoops) {
            if ((outputs & loop.output) == 0) {
                continue;
            }
            if (loop.output == TIOCM_DTR && faults_.act(Fault::SerialRtsCtsOnly)) {
                continue;
            }
            inputs |= loop.inputs;
        }
    }
    // Two bridged input pins read as one: whichever is driven pulls the other along.
    const int bridged = TIOCM_CTS | TIOCM_DSR;
    if ((inputs & bridged) != 0 && (inputs & bridged) != bridged && faults_.act(Fault::SerialCtsDsrBridged)) {
        inputs |= bridged;
    }
    if (faults_.act(Fault::SerialRing)) {
        inputs |= TIOCM_RNG;
    }
    return inputs;
}

std::optional<uint8_t> SerialLoopback::carry(uint8_t byte)
{
    if (faults_.act(Fault::SerialNoLoopback)) {
        return std::nullopt;
    }
    ++carried_;
    if (carried_ == kDroppedByte && faults_.act(Fault::SerialDropByte)) {
        return std::nullopt;
    }
    if (faults_.act(Fault::SerialCorrupt)) {
        byte ^= 0x01;
    }
    return byte;
}

} // namespace kmb::sim
