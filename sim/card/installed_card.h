// The one way to stand a simulated card up: the card booted from its state folder and its SimOs
// installed as the seam's backend for as long as this lives. kmbdiag-sim, the daemons, the
// tests, the fuzzers and the benchmark all stand their cards up here and keep on top only what
// is theirs (the console line, a daemon's loop, a test's trace, a fuzz input's fresh folder).
#pragma once

#include <functional>
#include <memory>

#include "os/os.h"
#include "sim/card/card.h"
#include "sim/card/sim_os.h"
#include "sim/core/config.h"
#include "sim/storage/state_lock.h"

namespace kmb::sim {

class InstalledCard {
public:
    // Who else may have the state folder: a card's first process holds its lock (a second
    // simulator on the folder is refused); a card for one test, one input or a daemon that joins
    // a card already up does not.
    enum class Lock { None, StateFolder };

    // Boots the card as `config` says and installs its SimOs; throws what the card throws when
    // it cannot be built from its state folder (nothing is installed then).
    explicit InstalledCard(const SimConfig& config, Lock lock = Lock::None);
    // Puts back the backend that was installed before.
    ~InstalledCard();
    InstalledCard(const InstalledCard&) = delete;
    InstalledCard& operator=(const InstalledCard&) = delete;

    Card& card() { return card_; }
    const Card& card() const { return card_; }
    SimOs& os() { return os_; }
    const SimOs& os() const { return os_; }

private:
    std::unique_ptr<StateLock> lock_;
    Card card_;
    SimOs os_;
    os::Os* previous_;
};

// Runs `program` on the installed card and gives its result; when the card resets under it, the
// program ends where it stands, as it would on the card, and the result is kResetExitStatus.
int run_until_reset(const std::function<int()>& program);

} // namespace kmb::sim
