// A simulated card for one fuzz input: powered on fresh in the process's own state folder, at
// speed 0, stood up as every card is (sim/card/installed_card.h). Inputs must not see each other's card, or a crash found
// after a million inputs could not be replayed from the one that showed it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/card/installed_card.h"
#include "sim/core/faults.h"

namespace kmb::fuzz {

class FuzzCard {
public:
    explicit FuzzCard(std::vector<sim::Fault> faults = {},
                      std::vector<std::pair<std::string, std::string>> env = {});
    // Aborts (a finding for the fuzzer) when the program or the card left a descriptor open.
    ~FuzzCard();
    FuzzCard(const FuzzCard&) = delete;
    FuzzCard& operator=(const FuzzCard&) = delete;

    sim::Card& card() { return installed_->card(); }
    sim::SimOs& os() { return installed_->os(); }

private:
    int host_descriptors_;
    std::optional<sim::InstalledCard> installed_;
};

// The faults an input begins with: its first byte says how many (0 to kMaxFaults), and each of
// that many bytes picks one entry of the whole catalogue (modulo its size), so every fault can
// be chosen, alone or with others. `used` is the bytes the header took. Inputs that begin
// with faults reach the diagnostic's error paths as well as its healthy ones.
inline constexpr std::size_t kMaxFaults = 3;
std::vector<sim::Fault> faults_from_header(const uint8_t* data, std::size_t size, std::size_t& used);

// The diagnostic and the card's shell print for an operator; a fuzzer has none.
void silence_stdout();

// Descriptors this process holds, from /proc/self/fd.
int host_descriptor_count();

// `data` as a C string of at most `max` characters (a NUL in the data ends it early, as it
// would for the C code that reads it).
std::string c_text(const uint8_t* data, std::size_t size, std::size_t max);

} // namespace kmb::fuzz
