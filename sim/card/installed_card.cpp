#include "sim/card/installed_card.h"

#include "sim/core/card_reset.h"

namespace kmb::sim {

InstalledCard::InstalledCard(const SimConfig& config, Lock lock)
    : lock_(lock == Lock::StateFolder ? std::make_unique<StateLock>(config.state_dir) : nullptr),
      card_(config), os_(card_), previous_(os::install(&os_))
{
}

InstalledCard::~InstalledCard() { os::install(previous_); }

int run_until_reset(const std::function<int()>& program)
{
    try {
        return program();
    } catch (const CardReset&) {
        return kResetExitStatus; // the card went down; it said nothing more
    }
}

} // namespace kmb::sim
