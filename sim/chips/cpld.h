// The card's CPLD as the program reaches it: its reset-reason register, the first byte of the
// page at 0xF0000000 of /dev/mem. The reason of the last reset is kept in the state folder, as
// the CPLD keeps it across the reset; a new card shows 0x00.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "sim/core/faults.h"
#include "sim/core/open_file.h"

namespace kmb::sim {

inline constexpr uint32_t kCpldAddress = 0xF0000000;

class Cpld {
public:
    // Loads the reason from `file`; `reason`, when given, replaces it from this start on.
    Cpld(std::filesystem::path file, Faults& faults, std::optional<uint8_t> reason);

    uint8_t reason() const { return reason_; }
    // The card resets for `reason`: kept for the next start. False with errno set when it
    // cannot be kept.
    bool reset_for(uint8_t reason);

    // /dev/mem: one read-only window on the register page; every other address is refused.
    std::unique_ptr<OpenFile> open_mem(const std::string& path, int flags);

private:
    std::filesystem::path file_;
    Faults& faults_;
    uint8_t reason_ = 0;
};

} // namespace kmb::sim
