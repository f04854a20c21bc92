// The Ethernet loopback test: a known pattern sent over a TCP connection from the card to
// itself, routed out through eth0 and its PHY and back in, at each forced speed and duplex,
// with the PHY looping back internally or the fixture's loopback cable doing it.
#pragma once

namespace kmb {

struct LoopbackSetting {
    int external;    // 0: the PHY's own loopback; 1: the cable's
    int speed100;    // 0: 10 Mb/s; 1: 100 Mb/s
    int half_duplex; // 0: full duplex; 1: half duplex
};

inline constexpr int ETH_LOOPBACK_PORT = 9090;
inline constexpr int ETH_BUFFER_SIZE = 1024 * 1024;
inline constexpr int ETH_CYCLE_BYTES = 0x4000;
inline constexpr int ETH_CYCLES = 5;
inline constexpr int ETH_MAX_MISMATCHES = 11;

// One run with its result line; 0 PASSED, 1 FAILED.
int eth_loopback_run(int external, int speed100, int half_duplex);

// Menu 9 and the comprehensive test: the eight settings, each after a PHY reset; the number of
// failed runs.
int eth_loopback_test();
// The hidden numbers 20 to 24: four settings each, no PHY reset; the number of failed runs.
int eth_loopback_menu20();
int eth_loopback_menu21();
int eth_loopback_menu22();
int eth_loopback_menu23();
int eth_loopback_menu24();

} // namespace kmb
