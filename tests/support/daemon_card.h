// A simulated card with the agent and SEL daemons as real processes on it, in the test's own
// IPC namespace: what every test between the daemons and their clients stands on.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "ipc/sel.h"
#include "support/agent_card.h"
#include "support/daemon_process.h"

namespace kmb::test {

// One record of the event log's file as the SEL daemon stores it.
struct StoredSelRecord {
    SelStoredHead head;
    uint8_t data[48];
};

class DaemonCard : public AgentCard {
protected:
    // Ends the daemons, removes every queue of the namespace and forgets the IDs the queue
    // library cached, so that the next test starts on no queue at all.
    void TearDown() override;
    // The records in the card's event log file, in the order stored.
    std::vector<StoredSelRecord> stored_records();

    std::unique_ptr<DaemonProcess> seld_;
    std::unique_ptr<DaemonProcess> agentd_;
};

} // namespace kmb::test
