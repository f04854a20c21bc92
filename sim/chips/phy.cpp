#include "sim/chips/phy.h"

#include "devices/mii_regs.h"

namespace kmb::sim {

namespace {

// An invented identifier in the usual form: the upper 16 bits of the maker's number, then six
// more bits of it, a model number and a revision.
constexpr uint16_t kPhyIdr1 = 0x2F4B;
constexpr uint16_t kPhyIdr2 = 0x5C21;

// Everything the PHY can do: 100BASE-TX and 10BASE-T, full and half duplex, auto-negotiation,
// management frames without preamble, the extended registers.
constexpr uint16_t kBmsrAbilities = 0x7849;
constexpr uint16_t kAnarDefault = 0x01E1;
constexpr uint16_t kAnerDefault = 0x0004;
constexpr uint16_t kAnnptrDefault = 0x2001;

// PHYSTS bits.
constexpr uint16_t kStsLink = 0x0001;
constexpr uint16_t kStsSpeed10 = 0x0002;
constexpr uint16_t kStsDuplex = 0x0004;
constexpr uint16_t kStsLoopback = 0x0008;
constexpr uint16_t kStsAnComplete = 0x0010;

// The reset takes a few hundred milliseconds; the line takes a moment to train after each
// change, longer over the cable than inside the PHY, and longest when it negotiates.
constexpr int64_t kResetUs = 300'000;
constexpr int64_t kLoopbackTrainUs = 200'000;
constexpr int64_t kForcedTrainUs = 600'000;
constexpr int64_t kNegotiateUs = 2'500'000;

// A loose contact in the cable's plug holds for a while after the line has trained over it,
// then opens long enough for the line to drop and train again, over and over.
constexpr int64_t kContactHoldsUs = 4'000'000;
constexpr int64_t kContactOpenUs = 3'000'000;

int extended_index(int reg) { return reg - 0x10; }

} // namespace

Phy::Phy(VirtualClock& clock, Faults& faults, std::function<bool()> cable_in)
    : clock_(clock), faults_(faults), cable_in_(std::move(cable_in))
{
    reset_registers();
    link_ready_us_ = 0; // trained long before the diagnostic starts
}

void Phy::reset_registers()
{
    bmcr_ = BMCR_SPEED100 | BMCR_ANENABLE | BMCR_FULLDPLX;
    anar_ = kAnarDefault;
    anlpar_ = 0;
    aner_ = kAnerDefault;
    annptr_ = kAnnptrDefault;
    extended_.fill(0);
    extended_[extended_index(MII_PCSR)] = 0x0100;
    extended_[extended_index(MII_PHYCTRL)] = 0x8C01;
    extended_[extended_index(MII_10BTSCR)] = 0x0804;
    extended_[extended_index(MII_CDCTRL)] = 0x0002;
}

bool Phy::in_reset() const { return reset_stuck_ || clock_.now_us() < reset_until_us_; }

void Phy::retrain()
{
    int64_t settle = kForcedTrainUs;
    if ((bmcr_ & BMCR_LOOPBACK) != 0) {
        settle = kLoopbackTrainUs;
    } else if ((bmcr_ & BMCR_ANENABLE) != 0) {
        settle = kNegotiateUs;
    }
    link_ready_us_ = clock_.now_us() + settle;
    // The state follows from the clock; the timer only makes an operator's wait cover it.
    clock_.after(settle, [] {});
}

bool Phy::link_up()
{
    if (in_reset() || (bmcr_ & (BMCR_POWERDOWN | BMCR_ISOLATE)) != 0 || clock_.now_us() < link_ready_us_) {
        return false;
    }
    // Inside the PHY the line never leaves the chip; otherwise the cable closes it.
    if ((bmcr_ & BMCR_LOOPBACK) == 0 && (!cable_in_ || !cable_in_())) {
        return false;
    }
    if (contact_open() && faults_.act(Fault::EthLinkDrops)) {
        return false;
    }
    return !faults_.act(Fault::EthLinkDown);
}

int64_t Phy::contact_phase_us() const
{
    return (clock_.now_us() - link_ready_us_) % (kContactHoldsUs + kContactOpenUs);
}

// Only a line that leaves the chip crosses the plug.
bool Phy::contact_open() const
{
    return (bmcr_ & BMCR_LOOPBACK) == 0 && clock_.now_us() >= link_ready_us_ &&
           faults_.active(Fault::EthLinkDrops) && contact_phase_us() >= kContactHoldsUs;
}

int64_t Phy::contact_closes_us() const
{
    if (!contact_open()) {
        return -1;
    }
    return clock_.now_us() + kContactHoldsUs + kContactOpenUs - contact_phase_us();
}

bool Phy::speed100() const
{
    // Negotiation with the cable's far end, which is this PHY again, settles on the best mode.
    return (bmcr_ & BMCR_ANENABLE) != 0 || (bmcr_ & BMCR_SPEED100) != 0;
}

bool Phy::full_duplex() const { return (bmcr_ & BMCR_ANENABLE) != 0 || (bmcr_ & BMCR_FULLDPLX) != 0; }

uint16_t Phy::bmsr()
{
    uint16_t value = kBmsrAbilities;
    if (link_up()) {
        value |= BMSR_LSTATUS;
        if ((bmcr_ & BMCR_ANENABLE) != 0) {
            value |= BMSR_ANEGCOMPLETE;
        }
    }
    return value;
}

uint16_t Phy::physts()
{
    uint16_t value = 0;
    if (link_up()) {
        value |= kStsLink;
        if ((bmcr_ & BMCR_ANENABLE) != 0) {
            value |= kStsAnComplete;
        }
    }
    if (!speed100()) {
        value |= kStsSpeed10;
    }
    if (full_duplex()) {
        value |= kStsDuplex;
    }
    if ((bmcr_ & BMCR_LOOPBACK) != 0) {
        value |= kStsLoopback;
    }
    return value;
}

uint16_t Phy::read(int reg)
{
    switch (reg) {
    case MII_BMCR:
        return in_reset() ? static_cast<uint16_t>(bmcr_ | BMCR_RESET) : bmcr_;
    case MII_BMSR:
        return bmsr();
    case MII_PHYIDR1:
        return kPhyIdr1;
    case MII_PHYIDR2:
        return kPhyIdr2;
    case MII_ANAR:
        return anar_;
    case MII_ANLPAR:
        // Over the cable the partner is this PHY, which hears its own advertisement.
        return link_up() && (bmcr_ & BMCR_ANENABLE) != 0 && (bmcr_ & BMCR_LOOPBACK) == 0
                   ? static_cast<uint16_t>(anar_ | 0x4000)
                   : anlpar_;
    case MII_ANER:
        return aner_;
    case MII_ANNPTR:
        return annptr_;
    case MII_PHYSTS:
        return physts();
    case MII_FCSCR:
    case MII_RECR:
    case MII_PCSR:
    case MII_PHYCTRL:
    case MII_10BTSCR:
    case MII_CDCTRL:
        return extended_[extended_index(reg)];
    default:
        return 0;
    }
}

void Phy::write(int reg, uint16_t value)
{
    // A PHY in reset takes no management writes.
    if (in_reset()) {
        return;
    }
    switch (reg) {
    case MII_BMCR:
        if ((value & BMCR_RESET) != 0) {
            reset_registers();
            reset_until_us_ = clock_.now_us() + kResetUs;
            reset_stuck_ = faults_.act(Fault::PhyResetStuck);
            clock_.after(kResetUs, [] {});
            retrain();
            return;
        }
        bmcr_ = static_cast<uint16_t>(value & ~BMCR_ANRESTART); // restart clears itself at once
        retrain();
        return;
    case MII_ANAR:
        anar_ = value;
        return;
    case MII_ANNPTR:
        annptr_ = value;
        return;
    case MII_PCSR:
    case MII_PHYCTRL:
    case MII_10BTSCR:
    case MII_CDCTRL:
        extended_[extended_index(reg)] = value;
        return;
    default:
        return; // status, identifier and counter registers are read only
    }
}

void Phy::carry(std::size_t count) { bytes_carried_ += count; }

// A frame that crosses the cable (the PHY does not loop it back itself) arrives damaged when
// the line is: the MAC's CRC check drops it, and the link stays up.
bool Phy::frame_intact() { return loopback() || !faults_.act(Fault::EthWireCorrupt); }

} // namespace kmb::sim
