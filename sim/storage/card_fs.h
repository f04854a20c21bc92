// The card's file system, kept under a folder of the host: /tmp, /var/run and /halvex/run are volatile
// (empty after every boot), /mnt/logs and the rest persist. Device and kernel paths (/dev,
// /proc, /sys) are not files here: only the models that own them answer there.
//
// Every path is walked one folder at a time from the root's descriptor and never through a
// symbolic link, so nothing the card opens, writes or deletes resolves outside the folder.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "sim/core/open_file.h"

namespace kmb::sim {

inline constexpr const char* kFixtureMarker = "/var/run/InTestFixture";

class CardFs {
public:
    // Opens (creating when missing) the folder `root`; throws std::runtime_error naming it when
    // it cannot be had or is a symbolic link.
    explicit CardFs(std::filesystem::path root);
    ~CardFs();
    CardFs(const CardFs&) = delete;
    CardFs& operator=(const CardFs&) = delete;

    // Power on: empties the volatile folders, lays out the card's folders and seeds the files
    // a new card ships with; the fixture's marker appears when the card sits in one. A folder
    // of the card that is a file or a symbolic link, or a file it cannot write, throws
    // std::runtime_error naming it: a broken state is never taken for a card out of its fixture.
    void boot(bool in_fixture);

    // The host path of a card path, or an empty path for one the card keeps no file at
    // (relative, escaping the root, or in a kernel or device folder).
    std::filesystem::path host_path(std::string_view card_path) const;

    std::unique_ptr<OpenFile> open(const std::string& card_path, int flags, mode_t mode);
    FILE* fopen(const char* card_path, const char* mode);

    bool exists(std::string_view card_path) const;
    // Text of a file; false when it cannot be read.
    bool read_text(std::string_view card_path, std::string& out) const;
    bool write_text(std::string_view card_path, std::string_view text) const;
    // Removes a file; errno as unlink(2) sets it on failure.
    int remove(std::string_view card_path) const;

    const std::filesystem::path& root() const { return root_; }

    // The partition holding `card_folder` has no room left when `full` says so, asked at each
    // try to make a new file there: the try fails with ENOSPC, as a full flash partition has no
    // room for the new file's node. Files already there open, read and go as before.
    void set_full(std::string card_folder, std::function<bool()> full)
    {
        full_folder_ = std::move(card_folder);
        full_ = std::move(full);
    }

private:
    // True when opening `leaf` in `parent` with `flags` would make a file in a full partition.
    bool no_room_for(std::string_view card_path, int parent, const std::string& leaf, int flags) const;
    // A descriptor of the folder that holds `card_path` and the name in it; -1 with errno set.
    int open_parent(std::string_view card_path, std::string& leaf) const;
    int open_at(std::string_view card_path, int flags, mode_t mode) const;
    void empty_folder(const char* card_folder) const;
    void make_folder(const char* card_folder) const;

    std::filesystem::path root_;
    int root_fd_ = -1;
    std::string full_folder_;
    std::function<bool()> full_;
};

} // namespace kmb::sim
