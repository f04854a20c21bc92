// The card's agent driver behind /dev/agentdrv: requests 0 and 1 arm and disarm an interrupt
// line of the card's controller, 2 reads the interrupt status word, 3 is the driver's own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "sim/core/faults.h"
#include "sim/core/open_file.h"
#include "sim/core/trace.h"
#include "sim/kernel/interrupts.h"

namespace kmb::sim {

class AgentDriver {
public:
    AgentDriver(InterruptLines& lines, Faults& faults) : lines_(lines), faults_(faults) {}

    std::unique_ptr<OpenFile> open(const std::string& path);

    // How often each request reached the driver, for tests.
    int requests(int request) const { return (request >= 0 && request < 4) ? requests_[request] : 0; }
    bool armed(int line) const { return lines_.armed(line); }

    int handle(unsigned long request, unsigned long arg);
    // Every request and its result go to `trace`: "agentdrv 0 25 = 0", "agentdrv 2 = -1 EIO".
    void set_trace(Trace* trace) { trace_ = trace; }

    // The host agent's interrupt request (its event FIFO holds data), which the status word
    // shows as bit 0x40.
    void set_agent_request(std::function<bool()> asserted) { agent_request_ = std::move(asserted); }

private:
    int serve(unsigned long request, unsigned long arg);

    InterruptLines& lines_;
    Trace* trace_ = nullptr;
    Faults& faults_;
    int requests_[4] = {};
    std::function<bool()> agent_request_;
};

} // namespace kmb::sim
