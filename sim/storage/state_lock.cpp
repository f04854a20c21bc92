#include "sim/storage/state_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

#include "sim/storage/atomic_file.h"

namespace kmb::sim {

StateLock::StateLock(const std::filesystem::path& state_dir)
{
    const std::filesystem::path file = state_dir / kFileName;
    bool not_regular = false;
    fd_ = open_state_file(AT_FDCWD, file.c_str(), O_RDWR | O_CREAT, 0644, not_regular);
    if (fd_ < 0 && not_regular) {
        throw std::runtime_error("cannot lock the state folder '" + state_dir.string() + "': '" + file.string() +
                                 "' is not a regular file");
    }
    if (fd_ < 0) {
        throw std::runtime_error("cannot lock the state folder '" + state_dir.string() + "': '" + file.string() +
                                 "': " + std::strerror(errno));
    }
    int rc;
    while ((rc = ::flock(fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        const int why = errno;
        ::close(fd_);
        fd_ = -1;
        if (why == EWOULDBLOCK) {
            throw std::runtime_error("the state folder '" + state_dir.string() +
                                     "' is in use by another simulator (its lock '" + file.string() +
                                     "' is held); give each simulator a --state of its own");
        }
        throw std::runtime_error("cannot lock the state folder '" + state_dir.string() + "': " + std::strerror(why));
    }
    // Ours alone now: the temporaries that a killed writer left beside the state's files go
    // (the files themselves are whole: old or new).
    remove_partial_files(state_dir);
}

StateLock::~StateLock()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

} // namespace kmb::sim
