// A few bytes of a device's state kept in the card's state folder between runs (the CPLD's reset
// reason, the fixture's counter agent): a file of exactly their length, written atomically.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kmb::sim {

// The bytes of `file`, or nullopt when there is none (a new card). A file that cannot be read,
// is no file or has another length throws std::runtime_error naming `what` and the file.
std::optional<std::vector<uint8_t>> load_state_bytes(const std::filesystem::path& file, std::size_t length,
                                                     const std::string& what);

// Replaces `file` with `bytes` (a temporary, fsync, rename); false with errno set on failure.
bool save_state_bytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

} // namespace kmb::sim
