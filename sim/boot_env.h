// The boot loader's environment of the card (what fw_printenv shows), kept in the state
// folder as name=value lines. A new card has part#, serial#, rev# and ethaddr.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kmb::sim {

class BootEnv {
public:
    // Loads `file`, or the defaults of a new card when there is none.
    explicit BootEnv(std::filesystem::path file);

    std::optional<std::string> get(std::string_view name) const;
    void set(const std::string& name, const std::string& value);
    // Deletes a variable, as the boot loader's tool does for a name given without a value.
    void unset(std::string_view name);
    const std::vector<std::pair<std::string, std::string>>& all() const { return vars_; }
    bool save() const;

private:
    std::filesystem::path file_;
    std::vector<std::pair<std::string, std::string>> vars_;
};

} // namespace kmb::sim
