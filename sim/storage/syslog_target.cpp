#include "sim/storage/syslog_target.h"

#include <cerrno>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <utility>

namespace kmb::sim {

namespace {

using Identity = std::pair<dev_t, ino_t>;

// The folders and files of the state folder, by identity; never through a link, bounded.
void collect(const std::filesystem::path& state_dir, std::set<Identity>& folders, std::set<Identity>& files)
{
    struct stat st{};
    if (::lstat(state_dir.c_str(), &st) != 0) {
        return;
    }
    folders.insert({st.st_dev, st.st_ino});
    std::error_code ec;
    constexpr int kMaxEntries = 100'000;
    int seen = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(
             state_dir, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator() && seen < kMaxEntries; it.increment(ec), ++seen) {
        struct stat entry{};
        if (::lstat(it->path().c_str(), &entry) != 0) {
            continue;
        }
        (S_ISDIR(entry.st_mode) ? folders : files).insert({entry.st_dev, entry.st_ino});
    }
}

} // namespace

void check_syslog_target(const std::filesystem::path& state_dir, const std::filesystem::path& syslog)
{
    const std::filesystem::path own = state_dir / kStateSyslogName;
    struct stat own_st{};
    const bool own_exists = ::lstat(own.c_str(), &own_st) == 0;
    if (syslog.empty()) {
        if (own_exists && !S_ISREG(own_st.st_mode)) {
            throw std::runtime_error("the card's syslog '" + own.string() +
                                     "' is not a regular file (a named pipe, a device, a folder or a link?); "
                                     "remove it, or give --syslog a log of your own");
        }
        return;
    }
    std::set<Identity> folders, files;
    collect(state_dir, folders, files);
    if (own_exists) {
        files.erase({own_st.st_dev, own_st.st_ino}); // naming the state's own log is no harm
    }
    const std::string refused = "--syslog '" + syslog.string() + "' is ";
    const std::string advice = ": the log would damage the card's state; give a log outside the state folder '" +
                               state_dir.string() + "'";
    struct stat st{};
    if (::stat(syslog.c_str(), &st) == 0) {
        if (own_exists && st.st_dev == own_st.st_dev && st.st_ino == own_st.st_ino) {
            return;
        }
        if (files.count({st.st_dev, st.st_ino}) != 0) {
            throw std::runtime_error(refused + "one of the state folder's own files" + advice);
        }
        if (folders.count({st.st_dev, st.st_ino}) != 0) {
            throw std::runtime_error(refused + "a folder of the card's state" + advice);
        }
    }
    // A file still to be made: not inside the state folder, unless it is the state's own log.
    const std::filesystem::path parent = syslog.has_parent_path() ? syslog.parent_path() : ".";
    struct stat parent_st{};
    if (::stat(parent.c_str(), &parent_st) == 0 && folders.count({parent_st.st_dev, parent_st.st_ino}) != 0) {
        struct stat root_st{};
        const bool in_root = ::stat(state_dir.c_str(), &root_st) == 0 && root_st.st_dev == parent_st.st_dev &&
                             root_st.st_ino == parent_st.st_ino;
        if (!(in_root && syslog.filename() == kStateSyslogName)) {
            throw std::runtime_error(refused + "inside the state folder" + advice);
        }
    }
}

} // namespace kmb::sim
