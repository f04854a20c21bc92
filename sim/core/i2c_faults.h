// Faults that act on the I2C bus rather than inside a chip, in one layer between the adapter
// and the devices: nothing answers at an address, or a device acknowledges its address and
// then refuses its transfers (all of them, only reads or only writes; the first few or always). A fault
// is marked as fired when the diagnostic meets it: a bind to the address, or a transfer that it
// refuses; never when the card is built.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/core/faults.h"

namespace kmb::sim {

struct BusFault {
    enum Kind {
        Absent,         // the address is not acknowledged: binds and transfers fail
        RefusesAll,     // bound as usual; every transfer is not acknowledged
        RefusesReads,   // bound as usual; read transfers are not acknowledged
        RefusesWrites,  // bound as usual; write transfers are not acknowledged
    };
    Fault fault;
    uint16_t address;
    Kind kind;
    // How many transfers it refuses before the bus is healthy again; 0: every one.
    int refusals = 0;
};

// The rules of every bus fault of the catalogue, with the addresses the card's and the
// fixture's chips are strapped to.
const std::vector<BusFault>& bus_fault_rules();

class I2cFaultLayer {
public:
    I2cFaultLayer(Faults& faults, std::vector<BusFault> rules);

    // Whether a slave that is there acknowledges its address (the adapter's check at a bind).
    bool acknowledges(uint16_t address);
    // Whether a transfer to a slave that is there goes through.
    bool passes(uint16_t address, bool reading);

private:
    Faults& faults_;
    std::vector<BusFault> rules_; // only those switched on
    std::vector<int> refused_;    // transfers each rule has refused so far
};

} // namespace kmb::sim
