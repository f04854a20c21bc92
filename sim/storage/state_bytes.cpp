#include "sim/storage/state_bytes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/storage/atomic_file.h"

namespace kmb::sim {

std::optional<std::vector<uint8_t>> load_state_bytes(const std::filesystem::path& file, std::size_t length,
                                                     const std::string& what)
{
    const std::string where = what + " '" + file.string() + "'";
    // Never through a symbolic link: what the card keeps is a file of its own state folder.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        return std::nullopt;
    }
    if (fd < 0) {
        throw std::runtime_error(where + " cannot be read: " + std::strerror(errno));
    }
    std::vector<uint8_t> bytes(length + 1);
    struct stat st{};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ssize_t got = 0;
    int error = 0;
    while (regular && static_cast<std::size_t>(got) < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - static_cast<std::size_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        got += n;
    }
    ::close(fd);
    if (!regular) {
        throw std::runtime_error(where + " is not a file");
    }
    if (error != 0) {
        throw std::runtime_error(where + " cannot be read: " + std::strerror(error));
    }
    if (static_cast<std::size_t>(got) != length) {
        throw std::runtime_error(where + " holds " + std::to_string(got) + (got > static_cast<ssize_t>(length) ? " or more" : "") +
                                 " bytes, not " + std::to_string(length));
    }
    bytes.resize(length);
    return bytes;
}

bool save_state_bytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes)
{
    return replace_file(file, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

} // namespace kmb::sim
