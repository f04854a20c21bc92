#include "sim/userland/shell_io.h"

namespace kmb::sim {

namespace {

// The card's shell runs the diagnostic's commands from the root folder.
constexpr std::string_view kWorkingFolder = "/";

} // namespace

void ShellSink::write(std::string_view text)
{
    if (discard_) {
        return;
    }
    if (file_ == nullptr) {
        std::fwrite(text.data(), 1, text.size(), console_);
        return;
    }
    while (!text.empty()) {
        const ssize_t n = file_->write(text.data(), text.size());
        if (n <= 0) {
            return; // a full card file system loses the rest, as it would on the card
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string shell_card_path(const std::string& path)
{
    if (path.empty() || path.front() == '/') {
        return path;
    }
    return std::string(kWorkingFolder) + path;
}

} // namespace kmb::sim
