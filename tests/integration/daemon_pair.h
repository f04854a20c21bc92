// The card's agent and SEL daemons started and stopped the way the integration tests want them,
// and the card's syslog, which every process of the card writes, read back.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "support/daemon_card.h"
#include "support/daemon_process.h"

namespace kmb::test {

// The bytes of `record`'s data at the offsets `at`, for comparing a few of them at once.
std::vector<int> data_bytes(const StoredSelRecord& record, std::initializer_list<int> at);

class DaemonPair : public DaemonCard {
protected:
    std::unique_ptr<DaemonProcess> start_agentd(std::vector<std::string> options = {});
    std::unique_ptr<DaemonProcess> start_seld();
    // Both daemons, the SEL daemon first so that the agent daemon's start-up reports reach it.
    void start(std::vector<std::string> agent_options = {});
    // Ends both, each with status 0; the SEL daemon takes what still waits on its queue first.
    void stop_daemons();
    std::string card_log() const;
    bool logged(const std::string& part) const { return card_log().find(part) != std::string::npos; }
    // The agent daemon's lines at priority 3 that begin with `text`, or are `text` alone.
    int agentd_errors(const std::string& text, bool whole = false) const;
};

} // namespace kmb::test
