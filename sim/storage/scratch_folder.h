// A state folder for one run that leaves nothing behind: a test's card, a benchmark's, a fuzzer's.
#pragma once

#include <filesystem>
#include <string>

namespace kmb::sim {

// A state folder of its own, made empty under `parent` as "<prefix>-XXXXXX" and removed with
// everything in it. Throws std::system_error when it cannot be made.
class ScratchFolder {
public:
    ScratchFolder(const std::filesystem::path& parent, const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Empties the folder: a card booted from it next starts as a new one.
    void wipe() const;

private:
    std::filesystem::path path_;
};

} // namespace kmb::sim
