#include "sim/chips/reset_logic.h"

#include "sim/core/wiring.h"

namespace kmb::sim {

namespace {

constexpr int64_t kHoldUs = 100'000;
constexpr uint8_t kReasonPrimary = 0x20;
constexpr uint8_t kReasonSecondary = 0x30; // the secondary image is the backup image: bit 0x10

} // namespace

void ResetLogic::lines_changed(uint8_t lines)
{
    const auto fell = static_cast<uint8_t>(lines_ & ~lines);
    lines_ = lines;
    for (uint8_t line : {wiring::kResetPrimaryPin, wiring::kResetSecondaryPin}) {
        if ((fell & line) != 0) {
            const uint64_t edge = ++edges_;
            clock_.after(kHoldUs, [this, line, edge] { held(line, edge); });
        }
    }
}

void ResetLogic::held(uint8_t line, uint64_t edge)
{
    // Released, or pulled low again since: this low did not last.
    if ((lines_ & line) != 0 || edge != edges_) {
        return;
    }
    if (faults_.act(Fault::CounterAgentResetDead)) {
        return;
    }
    reset_(line == wiring::kResetPrimaryPin ? kReasonPrimary : kReasonSecondary);
}

} // namespace kmb::sim
