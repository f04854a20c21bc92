// Replacing a file of the card's state folder so that a power cut or a crash leaves the old
// contents or the new, never half of each.
#pragma once

#include <filesystem>
#include <string_view>

namespace kmb::sim {

// Writes all of `contents` to `fd`, through interrupted and partial writes; false with errno
// set when the descriptor takes no more.
bool write_all(int fd, std::string_view contents);

// Writes `contents` to a temporary of its own name beside `file` (mode 0644), syncs it,
// renames it over `file` and syncs the folder. False with errno set when any step fails; the
// temporary is gone again and `file` is as it was.
bool replace_file(const std::filesystem::path& file, std::string_view contents);

} // namespace kmb::sim
