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
    return inputs_for(outputs, [this](Fault f) { return faults_.act(f); });
}

int SerialLoopback::status_levels(int outputs) const
{
    return inputs_for(outputs, [this](Fault f) { return faults_.active(f); });
}

template <typename On>
int SerialLoopback::inputs_for(int outputs, On on)
{
    int inputs = 0;
    // The fault acts only when a line is driven: with both outputs low a missing plug and a
    // present one read the same.
    const bool plugged = !((outputs & (TIOCM_DTR | TIOCM_RTS)) != 0 && on(Fault::SerialNoLoopback));
    if (plugged) {
        for (const wiring::SerialLineLoop& loop : wiring::kSerialLineLoops) {
            if ((outputs & loop.output) == 0) {
                continue;
            }
            if (loop.output == TIOCM_DTR && on(Fault::SerialRtsCtsOnly)) {
                continue;
            }
            inputs |= loop.inputs;
        }
    }
    // Two bridged input pins read as one: whichever is driven pulls the other along.
    const int bridged = TIOCM_CTS | TIOCM_DSR;
    if ((inputs & bridged) != 0 && (inputs & bridged) != bridged && on(Fault::SerialCtsDsrBridged)) {
        inputs |= bridged;
    }
    if (on(Fault::SerialRing)) {
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
