#include "support/agent_card.h"

#include "agent/agent_protocol.h"
#include <sys/msg.h>

#include "ipc/msg_queue.h"

namespace kmb::test {

void reset_agent_module()
{
    agent_module() = AgentModule{};
    for (AgentEvent* table : {agent_tamber_events(), agent_valdor_events()}) {
        for (int i = 0; i < agent_event_count(table); ++i) {
            table[i].current = 0;
        }
    }
}

void AgentCard::SetUp()
{
    PrivateIpc::SetUp();
    reset_agent_module();
    boot();
}

void AgentCard::TearDown()
{
    sim_.reset();
    const int sel = msgget(IPC_KEY_SELD, 0);
    if (sel >= 0) {
        msgctl(sel, IPC_RMID, nullptr);
    }
    PrivateIpc::TearDown();
}

void AgentCard::boot(std::vector<sim::Fault> faults, bool valdor)
{
    sim_.reset();
    sim::SimConfig config;
    config.faults = std::move(faults);
    config.valdor_agent = valdor;
    sim_ = std::make_unique<SimCard>(config);
    clear_log();
}

std::vector<std::string> AgentCard::log_at(int priority) const
{
    std::vector<std::string> lines;
    const std::string prefix = std::to_string(priority) + " ";
    for (const std::string& line : log()) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            lines.push_back(line.substr(prefix.size()));
        }
    }
    return lines;
}

} // namespace kmb::test
