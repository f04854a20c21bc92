// The boot loader's environment of the card (what fw_printenv shows), kept in the state
// folder as name=value lines. A new card has part#, serial#, rev# and ethaddr.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kmb::sim {

class BootEnv {
public:
    // The card's environment sector is 8 KiB, of which a CRC takes 4 bytes; the variables are
    // stored as name=value strings, each with its terminator, and one more ends the list.
    static constexpr std::size_t kCapacity = 8192 - 4;

    // Loads `file`, or the defaults of a new card when there is none. A file that cannot be
    // read, is no file, holds more than the sector or a line that is no NAME=VALUE throws
    // std::runtime_error naming the file and what is wrong: stored state is never replaced
    // by the defaults.
    explicit BootEnv(std::filesystem::path file);

    std::optional<std::string> get(std::string_view name) const;
    // Why `name`=`value` cannot be set (a bad name, a line end, no room left, a value the card
    // cannot use), or nullptr.
    const char* refusal(const std::string& name, const std::string& value) const;
    // The same, whatever the environment holds already: a bad name, a line end, or a value of
    // a variable the card itself reads (ethaddr) that the card cannot use.
    static const char* value_refusal(const std::string& name, const std::string& value);
    // Sets a variable; false, changing nothing, when refusal() has a reason.
    bool set(const std::string& name, const std::string& value);
    // Deletes a variable, as the boot loader's tool does for a name given without a value.
    void unset(std::string_view name);
    const std::vector<std::pair<std::string, std::string>>& all() const { return vars_; }
    // The bytes of the sector the variables take, the list's terminator included.
    std::size_t used() const;
    // Writes the file atomically (a temporary of a unique name, fsync, rename); false with
    // errno set when it cannot be kept.
    bool save() const;
    const std::filesystem::path& file() const { return file_; }

private:
    void load();

    std::filesystem::path file_;
    std::vector<std::pair<std::string, std::string>> vars_;
};

} // namespace kmb::sim
