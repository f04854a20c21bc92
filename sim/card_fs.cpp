#include "sim/card_fs.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kmb::sim {

namespace {

constexpr const char* kVolatile[] = {"/tmp", "/var/run", "/halvex/run"};
constexpr const char* kFolders[] = {"/tmp", "/var/run", "/halvex/run", "/mnt/logs", "/mnt/logs/sel", "/etc"};
constexpr const char* kNotFiles[] = {"/dev", "/proc", "/sys"};

// The release that the card's version script reports, as a new card ships it.
constexpr const char* kShippedRelease = "3.2.0\n";

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

} // namespace

CardFs::CardFs(std::filesystem::path root) : root_(std::move(root)) {}

void CardFs::boot(bool in_fixture)
{
    std::error_code ec;
    for (const char* folder : kVolatile) {
        std::filesystem::remove_all(host_path(folder), ec);
    }
    for (const char* folder : kFolders) {
        std::filesystem::create_directories(host_path(folder), ec);
    }
    if (!exists("/etc/version")) {
        write_text("/etc/version", kShippedRelease);
    }
    if (in_fixture) {
        write_text(kFixtureMarker, "");
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

std::unique_ptr<OpenFile> CardFs::open(const std::string& card_path, int flags, mode_t mode)
{
    const std::filesystem::path host = host_path(card_path);
    if (host.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    const int fd = ::open(host.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<HostFile>(card_path, fd);
}

FILE* CardFs::fopen(const char* card_path, const char* mode)
{
    const std::filesystem::path host = host_path(card_path != nullptr ? card_path : "");
    if (host.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    return std::fopen(host.c_str(), mode);
}

bool CardFs::exists(std::string_view card_path) const
{
    const std::filesystem::path host = host_path(card_path);
    std::error_code ec;
    return !host.empty() && std::filesystem::exists(host, ec);
}

bool CardFs::read_text(std::string_view card_path, std::string& out) const
{
    const std::filesystem::path host = host_path(card_path);
    if (host.empty()) {
        return false;
    }
    std::ifstream in(host, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

bool CardFs::write_text(std::string_view card_path, std::string_view text) const
{
    const std::filesystem::path host = host_path(card_path);
    if (host.empty()) {
        return false;
    }
    std::ofstream out(host, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

int CardFs::remove(std::string_view card_path) const
{
    const std::filesystem::path host = host_path(card_path);
    if (host.empty()) {
        errno = ENOENT;
        return -1;
    }
    return ::unlink(host.c_str());
}

} // namespace kmb::sim
