// The PHY of eth0 as the card's Ethernet driver lets the diagnostic reach it: one register read
// or written per device-private socket request, and what is built on that (the register dump,
// the interactive register access, the PHY reset with its wait).
#pragma once

#include <cstdint>
#include <net/if.h>

namespace kmb {

// The driver's own requests, not the standard MII ones with their 16-bit fields.
inline constexpr unsigned long PHY_READ_REQUEST = 0x89F0;  // SIOCDEVPRIVATE
inline constexpr unsigned long PHY_WRITE_REQUEST = 0x89F2; // SIOCDEVPRIVATE + 2

inline constexpr const char* ETH_IFNAME = "eth0";

// The data area of the interface request, four words in the processor's byte order.
struct PhyRegRequest {
    uint32_t phy_id;  // left 0: the driver picks its one PHY
    uint32_t reg_num;
    uint32_t val_in;  // the whole word goes to the driver, unmasked
    uint32_t val_out; // the driver sign-extends the 16-bit register into it
};
static_assert(sizeof(PhyRegRequest) == 16);
static_assert(sizeof(static_cast<ifreq*>(nullptr)->ifr_ifru) >= sizeof(PhyRegRequest));
// On the card (32-bit) the interface request is the name and 16 bytes of data, nothing more.
static_assert(sizeof(void*) != 4 || sizeof(ifreq) == 32);

struct PhyRegName {
    const char* name;
    int reg;
};
inline constexpr int PHY_REG_NAME_COUNT = 15;
extern const PhyRegName phy_reg_names[PHY_REG_NAME_COUNT];

// A zeroed interface request named "eth0", the register request placed in its data area.
void phy_request_init(ifreq* ifr);
PhyRegRequest phy_request_of(const ifreq& ifr);
void phy_request_store(ifreq* ifr, const PhyRegRequest& req);

// Reads register `reg` into `*value` (val_out as the driver left it, sign extension and all);
// returns the ioctl's status, 0 or -1.
int phy_read_reg(int sock, int reg, uint32_t* value);
// Writes `value` (the full word) to register `reg`; returns the ioctl's status.
int phy_write_reg(int sock, int reg, uint32_t value);

// Resets the PHY and waits for the reset bit to clear: 0 when it did, 1 when not (or no socket).
int phy_reset();

// TestFuncs of the card test menu's hidden numbers 10 and 11.
int phy_dump_regs();
int phy_edit_reg();

// The register and value inputs of phy_edit_reg: strtol in base 16 with its blanks, sign and
// "0x"; no hexadecimal digits give 0.
// Values beyond 32 bits are held at the nearest limit, as the card's 32-bit strtol holds them.
int32_t parse_hex_input(const char* line);

} // namespace kmb
