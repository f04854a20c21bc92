// The card's agent driver behind /dev/agentdrv: requests 0 and 1 arm and disarm an interrupt
// line of the card's controller, 2 reads the interrupt status word, 3 is the driver's own.
#pragma once

#include <memory>
#include <string>

#include "sim/faults.h"
#include "sim/interrupts.h"
#include "sim/open_file.h"

namespace kmb::sim {

class AgentDriver {
public:
    AgentDriver(InterruptLines& lines, Faults& faults) : lines_(lines), faults_(faults) {}

    std::unique_ptr<OpenFile> open(const std::string& path);

    // The host agent's interrupt request (its event FIFO holds data): the host agent's model
    // raises and drops it, and the status word shows it as bit 0x40.
    void set_host_agent_request(bool asserted) { host_agent_request_ = asserted; }

    // How often each request reached the driver, for tests.
    int requests(int request) const { return (request >= 0 && request < 4) ? requests_[request] : 0; }
    bool armed(int line) const { return lines_.armed(line); }

    int handle(unsigned long request, unsigned long arg);

private:
    InterruptLines& lines_;
    Faults& faults_;
    bool host_agent_request_ = false;
    int requests_[4] = {};
};

} // namespace kmb::sim
