// The card's file system, kept under a folder of the host: /tmp, /var/run and /halvex/run are volatile
// (empty after every boot), /mnt/logs and the rest persist. Device and kernel paths (/dev,
// /proc, /sys) are not files here: only the models that own them answer there.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "sim/open_file.h"

namespace kmb::sim {

inline constexpr const char* kFixtureMarker = "/var/run/InTestFixture";

class CardFs {
public:
    explicit CardFs(std::filesystem::path root);

    // Power on: empties the volatile folders, lays out the card's folders and seeds the files
    // a new card ships with; the fixture's marker appears when the card sits in one.
    void boot(bool in_fixture);

    // The host path of a card path, or an empty path for one the card keeps no file at
    // (relative, escaping the root, or in a kernel or device folder).
    std::filesystem::path host_path(std::string_view card_path) const;

    std::unique_ptr<OpenFile> open(const std::string& card_path, int flags, mode_t mode);
    FILE* fopen(const char* card_path, const char* mode);

    bool exists(std::string_view card_path) const;
    // Text of a file, or nullopt-like false when it cannot be read.
    bool read_text(std::string_view card_path, std::string& out) const;
    bool write_text(std::string_view card_path, std::string_view text) const;
    // Removes a file; errno as unlink(2) sets it on failure.
    int remove(std::string_view card_path) const;

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

} // namespace kmb::sim
