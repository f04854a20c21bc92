#include "sim/boot_env.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kmb::sim {

namespace {

// The boot loader keeps its environment in one small flash sector; a file much larger than
// that, or a line longer than any variable the card holds, is not a boot environment.
constexpr std::size_t kMaxFile = 64 * 1024;
constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxVars = 512;

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

bool valid(const std::string& name, const std::string& value)
{
    return !name.empty() && name.size() < kMaxLine && name.find_first_of("=\n") == std::string::npos &&
           value.find('\n') == std::string::npos && name.size() + value.size() + 1 < kMaxLine;
}

bool write_all(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

BootEnv::BootEnv(std::filesystem::path file) : file_(std::move(file))
{
    FILE* in = std::fopen(file_.c_str(), "rb");
    if (in == nullptr) {
        vars_ = new_card();
        return;
    }
    std::string line;
    bool overlong = false;
    std::size_t total = 0;
    int c = 0;
    const auto take_line = [&] {
        const std::size_t eq = line.find('=');
        if (!overlong && eq != std::string::npos && eq > 0) {
            set(line.substr(0, eq), line.substr(eq + 1));
        }
        line.clear();
        overlong = false;
    };
    while (total < kMaxFile && (c = std::fgetc(in)) != EOF) {
        ++total;
        if (c == '\n') {
            take_line();
        } else if (line.size() < kMaxLine) {
            line += static_cast<char>(c);
        } else {
            overlong = true;
        }
    }
    // A last line without its line end still counts (an editor may leave it so), unless the
    // file was cut off at the size bound.
    if (c == EOF && !line.empty()) {
        take_line();
    }
    std::fclose(in);
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

void BootEnv::set(const std::string& name, const std::string& value)
{
    if (!valid(name, value)) {
        return; // the boot loader's tool refuses such a variable; so does the card
    }
    for (auto& [n, v] : vars_) {
        if (n == name) {
            v = value;
            return;
        }
    }
    if (vars_.size() < kMaxVars) {
        vars_.emplace_back(name, value);
    }
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
    // A power cut while saving leaves the old environment or the new one, never half of each.
    const std::filesystem::path temp = file_.string() + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool written = write_all(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temp.c_str(), file_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace kmb::sim
