// The tests that reset the card, and their verdicts at the next start: the watchdog test and
// the counter agent's resets into the primary and the secondary image each leave a marker on
// the log partition before the reset; start-up reads the CPLD's reset reason and judges every
// marker it finds against it.
#pragma once

#include <cstdint>

namespace kmb {

inline constexpr uint32_t CPLD_RESET_REASON_ADDRESS = 0xF0000000;

// Reset-reason byte.
inline constexpr uint8_t RESET_BY_WATCHDOG = 0x80;   // a bit: any value from 0x80 up
inline constexpr uint8_t RESET_TO_PRIMARY = 0x20;    // the whole byte
inline constexpr uint8_t RESET_TO_SECONDARY = 0x30;  // the whole byte
inline constexpr uint8_t RESET_BACKUP_IMAGE = 0x10;  // a bit: started from the secondary image

inline constexpr const char* WATCHDOG_MARKER = "/mnt/logs/diagwd";
inline constexpr const char* PRIMARY_MARKER = "/mnt/logs/diagpri";
inline constexpr const char* SECONDARY_MARKER = "/mnt/logs/diagsec";
inline constexpr const char* BACKUP_FW_RECORD = "/var/run/backup_fw";

inline constexpr int RESET_IMAGE_PRIMARY = 1;
inline constexpr int RESET_IMAGE_SECONDARY = 2;

// Reads the reason into `*reason` (0 when the register cannot be reached); always 0.
int read_cpld_reset_reason(uint8_t* reason);
// Prints the verdict of every reset test whose marker is found, and removes the marker.
void verify_reset_markers(uint8_t reason);

// Menu 13, 14 and 15; each returns 0 whatever happens: the verdict is the next start's.
int watchdog_reset_test();
int counter_agent_reset_test(int image);
int reset_primary_test();
int reset_secondary_test();

} // namespace kmb
