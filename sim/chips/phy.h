// The card's Ethernet PHY behind its MDIO interface: the clause-22 control, status, identifier
// and auto-negotiation registers and the extended status and control registers, the reset that
// clears itself, loopback, forced speed and duplex, auto-negotiation, and the link that comes
// up a moment after the PHY is configured when it loops back internally or a loopback cable
// is in the connector. It also carries the frames, and with them a line that damages them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "sim/core/clock.h"
#include "sim/core/faults.h"

namespace kmb::sim {

class Phy {
public:
    // `cable_in` tells whether the fixture's loopback cable is in the card's connector.
    Phy(VirtualClock& clock, Faults& faults, std::function<bool()> cable_in);

    // One MDIO access; `reg` 0 to 31. Registers the PHY does not have read 0.
    uint16_t read(int reg);
    void write(int reg, uint16_t value);

    // The line as the MAC sees it right now.
    bool link_up();
    bool in_reset() const;
    bool speed100() const;
    bool full_duplex() const;
    bool loopback() const { return (bmcr_ & 0x4000) != 0; }

    // Counts `count` bytes passed through the PHY.
    void carry(std::size_t count);
    // Whether a frame sent now comes back with its CRC good.
    bool frame_intact();
    // When a loose contact in the cable, open now, closes again and the line is back; -1 when
    // none is open, and the line, if down, stays down until something is changed.
    int64_t contact_closes_us() const;
    uint64_t bytes_carried() const { return bytes_carried_; }

private:
    void reset_registers();
    void retrain();
    // Where a loose contact is in its cycle of holding and opening, from the line's training.
    int64_t contact_phase_us() const;
    bool contact_open() const;
    uint16_t bmsr();
    uint16_t physts();

    VirtualClock& clock_;
    Faults& faults_;
    std::function<bool()> cable_in_;
    uint16_t bmcr_ = 0;
    uint16_t anar_ = 0;
    uint16_t anlpar_ = 0;
    uint16_t aner_ = 0;
    uint16_t annptr_ = 0;
    std::array<uint16_t, 32> extended_{}; // 0x10 to 0x1F, those that hold a value
    int64_t reset_until_us_ = 0;           // reset in progress until then
    bool reset_stuck_ = false;
    int64_t link_ready_us_ = 0;            // the line has trained from then on
    uint64_t bytes_carried_ = 0;
};

} // namespace kmb::sim
