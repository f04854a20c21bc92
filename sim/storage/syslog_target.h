// Where the card's syslog may go: the state folder's own `syslog` (a regular file, never a named
// pipe or a device that would make the card wait), or a file of the operator's (--syslog) that
// is none of the state's own files, by device and inode and whatever name leads to it: a log
// appended to the boot loader's environment or the CPLD's byte would damage the next start.
#pragma once

#include <filesystem>

namespace kmb::sim {

inline constexpr const char* kStateSyslogName = "syslog";

// Throws std::runtime_error naming the file when `syslog` (empty: the state's own) cannot be the
// card's log for the state folder `state_dir`.
void check_syslog_target(const std::filesystem::path& state_dir, const std::filesystem::path& syslog);

} // namespace kmb::sim
