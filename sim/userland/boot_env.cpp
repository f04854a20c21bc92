#include "sim/userland/boot_env.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/kernel/net/eth0.h"
#include "sim/storage/atomic_file.h"

namespace kmb::sim {

namespace {

// What a new card leaves production with: a production revision letter, so that the
// diagnostic gives no pre-production warning.
const std::vector<std::pair<std::string, std::string>>& new_card()
{
    static const std::vector<std::pair<std::string, std::string>> vars = {
        {"part#", "KMB-P0001"},
        {"serial#", "KMB-S0000001"},
        {"rev#", "A0"},
        {"ethaddr", "02:00:4b:4d:42:01"},
    };
    return vars;
}

// The card's Ethernet driver takes its MAC address from ethaddr: six hexadecimal pairs, an
// address of one interface (not a group's) and not all zeros. Anything else would leave eth0
// with an address the engineer never gave, so it is refused where it is set.
bool usable_ethaddr(const std::string& value)
{
    const std::optional<MacAddress> mac = parse_mac(value);
    if (!mac || ((*mac)[0] & 0x01) != 0) {
        return false;
    }
    for (const uint8_t byte : *mac) {
        if (byte != 0) {
            return true;
        }
    }
    return false;
}

std::size_t footprint(const std::string& name, const std::string& value) { return name.size() + 1 + value.size() + 1; }

class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser()
    {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int fd_;
};

} // namespace

BootEnv::BootEnv(std::filesystem::path file) : file_(std::move(file)) { load(); }

void BootEnv::load()
{
    const std::string where = "the boot loader's environment '" + file_.string() + "'";
    // Never through a symbolic link: what the card keeps is a file of its own state folder.
    const int fd = ::open(file_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        vars_ = new_card();
        return;
    }
    if (fd < 0) {
        throw std::runtime_error(where + " cannot be read: " + std::strerror(errno));
    }
    const FdCloser closer(fd);
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        throw std::runtime_error(where + " is not a file");
    }
    std::string text;
    char chunk[4096];
    while (text.size() <= kCapacity) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw std::runtime_error(where + " cannot be read: " + std::strerror(errno));
        }
        if (n == 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
    if (text.size() > kCapacity) {
        throw std::runtime_error(where + " is larger than the card's environment of " + std::to_string(kCapacity) +
                                 " bytes");
    }
    std::size_t line_number = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        ++line_number;
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size(); // a last line without its line end still counts, as an editor may leave it
        }
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) {
            continue;
        }
        const std::size_t eq = line.find('=');
        const std::string name = eq == std::string::npos ? line : line.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
        const char* why = eq == std::string::npos || eq == 0 ? "is not NAME=VALUE" : nullptr;
        if (why == nullptr && line.find('\0') != std::string::npos) {
            why = "holds a NUL byte";
        }
        if (why == nullptr && !set(name, value)) {
            why = refusal(name, value);
        }
        if (why != nullptr) {
            throw std::runtime_error(where + ", line " + std::to_string(line_number) + ", " + why);
        }
    }
}

std::optional<std::string> BootEnv::get(std::string_view name) const
{
    for (const auto& [n, v] : vars_) {
        if (n == name) {
            return v;
        }
    }
    return std::nullopt;
}

std::size_t BootEnv::used() const
{
    std::size_t bytes = 1;
    for (const auto& [name, value] : vars_) {
        bytes += footprint(name, value);
    }
    return bytes;
}

const char* BootEnv::value_refusal(const std::string& name, const std::string& value)
{
    if (name.empty() || name.find_first_of("=\n") != std::string::npos || name.find('\0') != std::string::npos) {
        return "has no name, or a name with '=' or a line end";
    }
    if (value.find('\n') != std::string::npos || value.find('\0') != std::string::npos) {
        return "has a line end in its value";
    }
    if (name == "ethaddr" && !usable_ethaddr(value)) {
        return "is no address the card's Ethernet driver takes: six hexadecimal pairs such as 02:00:4b:4d:42:01, "
               "neither multicast nor all zeros";
    }
    return nullptr;
}

const char* BootEnv::refusal(const std::string& name, const std::string& value) const
{
    if (const char* why = value_refusal(name, value)) {
        return why;
    }
    std::size_t bytes = used() + footprint(name, value);
    if (const std::optional<std::string> old = get(name)) {
        bytes -= footprint(name, *old);
    }
    if (bytes > kCapacity) {
        return "does not fit: the card's environment holds 8188 bytes";
    }
    return nullptr;
}

bool BootEnv::set(const std::string& name, const std::string& value)
{
    if (refusal(name, value) != nullptr) {
        return false; // the boot loader's tool refuses such a variable; so does the card
    }
    for (auto& [n, v] : vars_) {
        if (n == name) {
            v = value;
            return true;
        }
    }
    vars_.emplace_back(name, value);
    return true;
}

void BootEnv::unset(std::string_view name)
{
    std::erase_if(vars_, [name](const auto& var) { return var.first == name; });
}

bool BootEnv::save() const
{
    std::string text;
    for (const auto& [name, value] : vars_) {
        text += name + "=" + value + "\n";
    }
    return replace_file(file_, text);
}

} // namespace kmb::sim
