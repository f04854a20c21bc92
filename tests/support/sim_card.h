// A simulated card for one test: a fresh state folder, the card at speed 0 from the tests'
// epoch, stood up as every card is (sim/card/installed_card.h), and the device trace on.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/card/installed_card.h"
#include "sim/core/config.h"
#include "sim/storage/scratch_folder.h"

namespace kmb::test {

// A temporary folder removed with everything in it.
class TempDir : public sim::ScratchFolder {
public:
    TempDir() : ScratchFolder(std::filesystem::temp_directory_path(), "kmbtest") {}
};

// 2026-12-06 08:00:00 UTC: the card clock of every test.
inline constexpr time_t kTestEpoch = 1796544000;

class SimCard {
public:
    explicit SimCard(std::vector<sim::Fault> faults = {},
                     std::vector<std::pair<std::string, std::string>> env = {});
    // A card set up as `config` says; its state folder, speed 0 and the tests' epoch are the
    // test's own (a state_dir given in `config` is used instead, for a card's second start).
    explicit SimCard(sim::SimConfig config);
    SimCard(const SimCard&) = delete;
    SimCard& operator=(const SimCard&) = delete;

    sim::Card& card() { return installed_->card(); }
    sim::SimOs& os() { return installed_->os(); }
    const std::filesystem::path& state() const { return state_dir_; }
    std::vector<std::string> trace() const { return installed_->card().trace().lines(); }
    // Trace lines that begin with `prefix`, e.g. "i2c 0x18 w".
    std::vector<std::string> trace_of(const std::string& prefix) const;
    void clear_trace() { installed_->card().trace().clear(); }
    std::vector<std::string> syslog_lines() const;

private:
    TempDir state_;
    std::filesystem::path state_dir_;
    std::unique_ptr<sim::InstalledCard> installed_;
};

} // namespace kmb::test
