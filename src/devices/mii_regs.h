// The PHY's register map: the clause-22 registers every MII PHY has, the extended ones of the
// card's PHY that the register dump shows, and the control and status bits the diagnostic
// uses. Shared by the diagnostic and the simulated PHY; which PHY sits on the card is not.
#pragma once

#include <cstdint>

namespace kmb {

inline constexpr int MII_BMCR = 0x00;
inline constexpr int MII_BMSR = 0x01;
inline constexpr int MII_PHYIDR1 = 0x02;
inline constexpr int MII_PHYIDR2 = 0x03;
inline constexpr int MII_ANAR = 0x04;
inline constexpr int MII_ANLPAR = 0x05;
inline constexpr int MII_ANER = 0x06;
inline constexpr int MII_ANNPTR = 0x07;
inline constexpr int MII_PHYSTS = 0x10;
inline constexpr int MII_FCSCR = 0x14;
inline constexpr int MII_RECR = 0x15;
inline constexpr int MII_PCSR = 0x16;
inline constexpr int MII_PHYCTRL = 0x19;
inline constexpr int MII_10BTSCR = 0x1A;
inline constexpr int MII_CDCTRL = 0x1B;

inline constexpr uint16_t BMCR_RESET = 0x8000;
inline constexpr uint16_t BMCR_LOOPBACK = 0x4000;
inline constexpr uint16_t BMCR_SPEED100 = 0x2000;
inline constexpr uint16_t BMCR_ANENABLE = 0x1000;
inline constexpr uint16_t BMCR_POWERDOWN = 0x0800;
inline constexpr uint16_t BMCR_ISOLATE = 0x0400;
inline constexpr uint16_t BMCR_ANRESTART = 0x0200;
inline constexpr uint16_t BMCR_FULLDPLX = 0x0100;

inline constexpr uint16_t BMSR_LSTATUS = 0x0004;
inline constexpr uint16_t BMSR_ANEGCOMPLETE = 0x0020;

// ANLPAR and ANNPTR: another page follows.
inline constexpr uint16_t MII_NEXT_PAGE = 0x8000;

} // namespace kmb
