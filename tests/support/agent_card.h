// A simulated card for the host agent's libraries: its own IPC namespace (the libraries report
// to the SEL daemon's queue), the agent module back at its start, and the card's syslog empty.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/private_ipc.h"
#include "support/sel_queue.h"
#include "support/sim_card.h"

namespace kmb::test {

// Puts the agent module and both event tables back as a new process has them.
void reset_agent_module();

class AgentCard : public PrivateIpc {
protected:
    void SetUp() override;
    void TearDown() override;
    // A fresh card with these faults, on a Tamber or a Valdor host.
    void boot(std::vector<sim::Fault> faults = {}, bool valdor = false);
    sim::Card& card() { return sim_->card(); }
    std::vector<std::string> log() const { return sim_->syslog_lines(); }
    std::vector<std::string> log_at(int priority) const;
    void clear_log() { sim_->card().syslog().clear(); }
    std::vector<std::string> traffic() const { return sim_->trace_of("i2c 0x57"); }
    void clear_traffic() { sim_->clear_trace(); }
    int open_descriptors() { return sim_->os().open_descriptor_count(); }

    std::unique_ptr<SimCard> sim_;
};

} // namespace kmb::test
