// One simulator at a time holds a state folder: a second one on the same folder would empty the
// first one's card /tmp under it. The lock is flock(2) on a file of the folder, so it goes with
// the process however that ends.
#pragma once

#include <filesystem>

namespace kmb::sim {

class StateLock {
public:
    // Takes the lock of `state_dir`; throws std::runtime_error naming the folder when another
    // simulator holds it or the lock file cannot be had.
    explicit StateLock(const std::filesystem::path& state_dir);
    ~StateLock();
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;

    static constexpr const char* kFileName = "lock";

private:
    int fd_ = -1;
};

} // namespace kmb::sim
