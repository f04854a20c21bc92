#include "sim/storage/card_fs.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "sim/core/host_complaint.h"
#include "sim/storage/atomic_file.h"

namespace kmb::sim {

namespace {

constexpr const char* kVolatile[] = {"/tmp", "/var/run", "/halvex/run"};
constexpr const char* kFolders[] = {"/tmp", "/var", "/var/run", "/halvex", "/halvex/run", "/mnt", "/mnt/logs", "/mnt/logs/sel", "/etc"};
constexpr const char* kNotFiles[] = {"/dev", "/proc", "/sys"};

// The release that the card's version script reports, as a new card ships it.
constexpr const char* kShippedRelease = "3.2.0\n";

// Folders of the card nest only so deep; a deeper walk is no path of the card's.
constexpr int kMaxDepth = 32;

constexpr int kWalk = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// A regular file of the card: a real file of the host behind the descriptor.
class HostFile final : public OpenFile {
public:
    HostFile(std::string path, int fd) : OpenFile(std::move(path)), fd_(fd) {}
    ~HostFile() override
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ssize_t read(void* buf, size_t count) override { return ::read(fd_, buf, count); }
    ssize_t write(const void* buf, size_t count) override { return ::write(fd_, buf, count); }
    int fcntl(int cmd, long arg) override { return ::fcntl(fd_, cmd, arg); }
    int release() override
    {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

bool under(std::string_view path, std::string_view folder)
{
    return path.substr(0, folder.size()) == folder && (path.size() == folder.size() || path[folder.size()] == '/');
}

std::runtime_error broken(const std::filesystem::path& where, const std::string& what)
{
    return std::runtime_error("the card's file system: '" + where.string() + "' " + what);
}

// The open(2) flags of an fopen mode.
bool flags_of(const char* mode, int& flags)
{
    const bool plus = std::strchr(mode, '+') != nullptr;
    switch (mode[0]) {
    case 'r':
        flags = plus ? O_RDWR : O_RDONLY;
        return true;
    case 'w':
        flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
        return true;
    case 'a':
        flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
        return true;
    default:
        errno = EINVAL;
        return false;
    }
}

// Deletes everything inside the folder `fd` (closed here), never following a link out of it.
bool empty_tree(int fd, int depth)
{
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    bool ok = depth < kMaxDepth;
    std::vector<std::string> names;
    // readdir64: on the 32-bit card a plain readdir fails on the 64-bit offsets of the host's
    // file systems, and a folder would look empty.
    errno = 0;
    while (const dirent64* e = ::readdir64(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
            names.emplace_back(e->d_name);
        }
    }
    ok = ok && errno == 0;
    for (const std::string& name : names) {
        if (!ok) {
            break;
        }
        struct stat st{};
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(fd, name.c_str(), kWalk);
            ok = sub >= 0 && empty_tree(sub, depth + 1) && ::unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0;
        } else {
            ok = ::unlinkat(fd, name.c_str(), 0) == 0; // a link goes, not what it names
        }
    }
    ::closedir(dir);
    return ok;
}

} // namespace

CardFs::CardFs(std::filesystem::path root) : root_(std::move(root))
{
    // The state folder itself is where the operator put it; the card's folder inside it is a
    // folder of its own, never a link elsewhere.
    const std::filesystem::path parent = root_.has_parent_path() ? root_.parent_path() : ".";
    const int parent_fd = ::open(parent.c_str(), kWalk & ~O_NOFOLLOW);
    if (parent_fd < 0) {
        throw broken(parent, std::string("cannot be opened: ") + std::strerror(errno));
    }
    const std::string name = root_.filename().string();
    if (::mkdirat(parent_fd, name.c_str(), 0755) != 0 && errno != EEXIST) {
        const int why = errno;
        ::close(parent_fd);
        throw broken(root_, std::string("cannot be made: ") + std::strerror(why));
    }
    root_fd_ = ::openat(parent_fd, name.c_str(), kWalk);
    const int why = errno;
    ::close(parent_fd);
    if (root_fd_ < 0) {
        throw broken(root_, why == ELOOP || why == ENOTDIR ? "is not a folder (a file or a symbolic link)"
                                                           : std::string("cannot be opened: ") + std::strerror(why));
    }
}

CardFs::~CardFs()
{
    if (root_fd_ >= 0) {
        ::close(root_fd_);
    }
}

void CardFs::make_folder(const char* card_folder) const
{
    std::string leaf;
    const int parent = open_parent(card_folder, leaf);
    if (parent < 0) {
        throw broken(host_path(card_folder), std::string("cannot be reached: ") + std::strerror(errno));
    }
    const bool made = ::mkdirat(parent, leaf.c_str(), 0755) == 0 || errno == EEXIST;
    const int why = errno;
    const int fd = made ? ::openat(parent, leaf.c_str(), kWalk) : -1;
    const int open_why = errno;
    ::close(parent);
    if (fd < 0) {
        const int e = made ? open_why : why;
        throw broken(host_path(card_folder), e == ELOOP || e == ENOTDIR
                                                 ? "is not a folder (a file or a symbolic link)"
                                                 : std::string("cannot be made: ") + std::strerror(e));
    }
    ::close(fd);
}

void CardFs::empty_folder(const char* card_folder) const
{
    const int fd = open_at(card_folder, kWalk, 0);
    if (fd < 0 && errno == ENOENT) {
        return;
    }
    if (fd < 0) {
        throw broken(host_path(card_folder), errno == ELOOP || errno == ENOTDIR
                                                 ? "is not a folder (a file or a symbolic link)"
                                                 : std::string("cannot be opened: ") + std::strerror(errno));
    }
    if (!empty_tree(fd, 0)) {
        throw broken(host_path(card_folder), std::string("cannot be emptied: ") + std::strerror(errno));
    }
}

void CardFs::boot(bool in_fixture)
{
    for (const char* folder : kVolatile) {
        empty_folder(folder);
    }
    for (const char* folder : kFolders) {
        make_folder(folder);
        // What a kill left half written beside a file the simulator replaces (its version).
        const int fd = open_at(folder, kWalk, 0);
        if (fd >= 0) {
            remove_partial_files(fd);
            ::close(fd);
        }
    }
    if (!exists("/etc/version") && !write_text("/etc/version", kShippedRelease)) {
        throw broken(host_path("/etc/version"), std::string("cannot be written: ") + std::strerror(errno));
    }
    if (in_fixture && !write_text(kFixtureMarker, "")) {
        throw broken(host_path(kFixtureMarker), std::string("cannot be written: ") + std::strerror(errno));
    }
}

std::filesystem::path CardFs::host_path(std::string_view card_path) const
{
    if (card_path.empty() || card_path.front() != '/') {
        return {};
    }
    for (const char* folder : kNotFiles) {
        if (under(card_path, folder)) {
            return {};
        }
    }
    const std::filesystem::path normal = std::filesystem::path(card_path).lexically_normal();
    for (const auto& part : normal) {
        if (part == "..") {
            return {};
        }
    }
    return root_ / normal.relative_path();
}

int CardFs::open_parent(std::string_view card_path, std::string& leaf) const
{
    const std::filesystem::path host = host_path(card_path);
    if (host.empty()) {
        errno = ENOENT;
        return -1;
    }
    const std::filesystem::path relative = host.lexically_relative(root_);
    std::vector<std::string> parts;
    for (const auto& part : relative) {
        if (!part.empty() && part != ".") {
            parts.push_back(part.string());
        }
    }
    if (parts.empty() || static_cast<int>(parts.size()) > kMaxDepth) {
        errno = parts.empty() ? EISDIR : ENAMETOOLONG;
        return -1;
    }
    int fd = ::dup(root_fd_);
    for (std::size_t i = 0; fd >= 0 && i + 1 < parts.size(); ++i) {
        const int next = ::openat(fd, parts[i].c_str(), kWalk);
        const int why = errno;
        ::close(fd);
        errno = why;
        fd = next;
    }
    if (fd >= 0) {
        leaf = parts.back();
    }
    return fd;
}

int CardFs::open_at(std::string_view card_path, int flags, mode_t mode) const
{
    std::string leaf;
    const int parent = open_parent(card_path, leaf);
    if (parent < 0) {
        return -1;
    }
    int fd;
    if (no_room_for(card_path, parent, leaf, flags)) {
        fd = -1;
        errno = ENOSPC;
    } else if ((flags & O_DIRECTORY) != 0) {
        fd = ::openat(parent, leaf.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    } else {
        // No kind of file may make the card wait at its open: a named pipe or a device where
        // the card keeps a file is a broken state, named on standard error.
        bool not_regular = false;
        fd = open_state_file(parent, leaf.c_str(), flags, mode, not_regular);
        if (not_regular) {
            const std::filesystem::path where = host_path(card_path);
            complain_once("not-a-file " + where.string(),
                          "the card's file system: '" + where.string() +
                              "' is not a regular file (a named pipe, a device or a socket?); the card cannot use it");
            errno = EINVAL;
        }
    }
    const int why = errno;
    ::close(parent);
    errno = why;
    return fd;
}

bool CardFs::no_room_for(std::string_view card_path, int parent, const std::string& leaf, int flags) const
{
    if ((flags & O_CREAT) == 0 || !full_ || !under(card_path, full_folder_)) {
        return false;
    }
    struct stat st{};
    const bool is_new = ::fstatat(parent, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
    return is_new && full_();
}

std::unique_ptr<OpenFile> CardFs::open(const std::string& card_path, int flags, mode_t mode)
{
    const int fd = open_at(card_path, flags, mode);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<HostFile>(card_path, fd);
}

FILE* CardFs::fopen(const char* card_path, const char* mode)
{
    int flags = 0;
    if (card_path == nullptr || mode == nullptr || !flags_of(mode, flags)) {
        errno = card_path == nullptr ? ENOENT : EINVAL;
        return nullptr;
    }
    const int fd = open_at(card_path, flags, 0666);
    if (fd < 0) {
        return nullptr;
    }
    FILE* stream = ::fdopen(fd, mode);
    if (stream == nullptr) {
        const int why = errno;
        ::close(fd);
        errno = why;
    }
    return stream;
}

bool CardFs::exists(std::string_view card_path) const
{
    std::string leaf;
    const int parent = open_parent(card_path, leaf);
    if (parent < 0) {
        return false;
    }
    struct stat st{};
    const bool found = ::fstatat(parent, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    ::close(parent);
    return found;
}

bool CardFs::read_text(std::string_view card_path, std::string& out) const
{
    const int fd = open_at(card_path, O_RDONLY | O_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    std::string text;
    char chunk[4096];
    ssize_t n = 0;
    while ((n = ::read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) {
            text.append(chunk, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    if (n < 0) {
        return false;
    }
    out = std::move(text);
    return true;
}

bool CardFs::write_text(std::string_view card_path, std::string_view text) const
{
    // Replaced whole: a full disk or a kill leaves the old text or the new, never an empty file.
    std::string leaf;
    const int parent = open_parent(card_path, leaf);
    if (parent < 0) {
        return false;
    }
    const bool written = replace_file_at(parent, leaf, text);
    const int why = errno;
    ::close(parent);
    errno = why;
    return written;
}

int CardFs::remove(std::string_view card_path) const
{
    std::string leaf;
    const int parent = open_parent(card_path, leaf);
    if (parent < 0) {
        return -1;
    }
    const int rc = ::unlinkat(parent, leaf.c_str(), 0);
    const int why = errno;
    ::close(parent);
    errno = why;
    return rc;
}

} // namespace kmb::sim
