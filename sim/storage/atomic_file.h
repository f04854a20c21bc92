// Replacing a file of the card's state folder so that a power cut, a crash or a full disk leaves
// the old contents or the new, never half of each; and reading one so that no kind of file
// (a named pipe, a device) can make the simulator wait.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kmb::sim {

// Writes all of `contents` to `fd`, through interrupted and partial writes; false with errno
// set when the descriptor takes no more. Every write of the storage layer goes through here.
bool write_all(int fd, std::string_view contents);

// Writes `contents` to a temporary beside `file` (named `<name>.partial-XXXXXX`, mode 0644),
// syncs it, renames it over `file` and syncs the folder. False with errno set when any step
// fails; the temporary is gone again and `file` is as it was.
bool replace_file(const std::filesystem::path& file, std::string_view contents);
// The same for the file `name` in the folder open as `dir_fd` (never through a link).
bool replace_file_at(int dir_fd, const std::string& name, std::string_view contents);

// Whether `name` is one of replace_file's temporaries.
bool is_partial_file(std::string_view name);
// Removes the temporaries that a kill left in the folder `dir_fd` (not its subfolders); only a
// process that holds the state's lock may. Returns how many went.
int remove_partial_files(int dir_fd);
int remove_partial_files(const std::filesystem::path& folder);

// Opens the file `name` of the folder `dir_fd` (AT_FDCWD: a path) with `flags` so that no kind
// of file blocks the open (O_NONBLOCK, never through a link) and checks that it is a regular
// file. Returns the descriptor (blocking again unless `flags` asked otherwise), or -1 with errno
// set: as open(2) sets it, or EINVAL with `not_regular` set when it is anything but a regular
// file (a named pipe, a device, a socket).
int open_state_file(int dir_fd, const char* name, int flags, mode_t mode, bool& not_regular);

// Tests: a disk that takes only `bytes` more through write_all before it is full (ENOSPC);
// a negative value is a disk without limit (the default).
void set_disk_space_for_tests(long long bytes);

} // namespace kmb::sim
