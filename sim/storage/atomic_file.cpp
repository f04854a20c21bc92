#include "sim/storage/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kmb::sim {

namespace {

constexpr std::string_view kPartialMark = ".partial-";
constexpr std::size_t kPartialSuffix = 6;

// The card's simulator is one thread; a plain number serves (a 64-bit atomic would need
// libatomic on the card's 32-bit PowerPC).
long long disk_space = -1;

// The room the test disk has left for `wanted` bytes; sets ENOSPC when there is none.
std::size_t room_for(std::size_t wanted)
{
    const long long left = disk_space;
    if (left < 0) {
        return wanted;
    }
    const auto take = static_cast<long long>(wanted) < left ? static_cast<long long>(wanted) : left;
    disk_space = left - take;
    if (take == 0) {
        errno = ENOSPC;
    }
    return static_cast<std::size_t>(take);
}

std::string partial_name(const std::string& name)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static thread_local std::mt19937 random(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    std::string temp = name + std::string(kPartialMark);
    for (std::size_t i = 0; i < kPartialSuffix; ++i) {
        temp += kLetters[random() % (sizeof kLetters - 1)];
    }
    return temp;
}

} // namespace

void set_disk_space_for_tests(long long bytes) { disk_space = bytes < 0 ? -1 : bytes; }

bool write_all(int fd, std::string_view contents)
{
    std::size_t done = 0;
    while (done < contents.size()) {
        const std::size_t room = room_for(contents.size() - done);
        if (room == 0) {
            return false;
        }
        const ssize_t n = ::write(fd, contents.data() + done, room);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool is_partial_file(std::string_view name)
{
    const std::size_t at = name.rfind(kPartialMark);
    return at != std::string_view::npos && at > 0 && name.size() == at + kPartialMark.size() + kPartialSuffix;
}

bool replace_file_at(int dir_fd, const std::string& name, std::string_view contents)
{
    // A temporary of its own name per write, so that no two writers share one.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = partial_name(name);
        fd = ::openat(dir_fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    const bool written = ::fchmod(fd, 0644) == 0 && write_all(fd, contents) && ::fsync(fd) == 0;
    const int saved = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::renameat(dir_fd, temp.c_str(), dir_fd, name.c_str()) != 0) {
        const int why = written ? errno : saved;
        ::unlinkat(dir_fd, temp.c_str(), 0);
        errno = why;
        return false;
    }
    // The rename itself is kept once the folder is on disk.
    ::fsync(dir_fd);
    return true;
}

bool replace_file(const std::filesystem::path& file, std::string_view contents)
{
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return false;
    }
    const bool replaced = replace_file_at(dir, file.filename().string(), contents);
    const int why = errno;
    ::close(dir);
    errno = why;
    return replaced;
}

int remove_partial_files(int dir_fd)
{
    const int fd = ::dup(dir_fd);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return 0;
    }
    std::vector<std::string> names;
    while (const dirent64* e = ::readdir64(dir)) {
        if (is_partial_file(e->d_name)) {
            names.emplace_back(e->d_name);
        }
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : names) {
        struct stat st{};
        // Only a file: a folder or a pipe of that name is nothing the writer made.
        if (::fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            ::unlinkat(dir_fd, name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    return removed;
}

int remove_partial_files(const std::filesystem::path& folder)
{
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) {
        return 0;
    }
    const int removed = remove_partial_files(dir);
    ::close(dir);
    return removed;
}

int open_state_file(int dir_fd, const char* name, int flags, mode_t mode, bool& not_regular)
{
    not_regular = false;
    const int fd = ::openat(dir_fd, name, flags | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        // A named pipe that nobody reads refuses a non-blocking writer (ENXIO).
        const int why = errno;
        struct stat st{};
        if (why == ENXIO && ::fstatat(dir_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(st.st_mode)) {
            not_regular = true;
            errno = EINVAL;
            return -1;
        }
        errno = why;
        return -1;
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        not_regular = true;
        errno = EINVAL;
        return -1;
    }
    if ((flags & O_NONBLOCK) == 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

} // namespace kmb::sim
