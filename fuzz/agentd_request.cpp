// A message on the agent daemon's queue, as any process of the card may send it: agent command
// requests with their checksum, LM77 requests and interrupt notices (the agent's and the
// LM77's), handled on a simulated
// card whose host agent may be faulty. The first byte switches on host agent faults (bits 0 to
// 3: absent, bad complement, FIFO stuck, writes refused); the rest is the message after mtype.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "agent/agent_protocol.h"
#include "devices/lm77.h"
#include "fuzz/support/fuzz_card.h"
#include "fuzz/support/private_queues.h"
#include "sim/daemons/agentd_service.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    kmb::fuzz::enter_private_ipc();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    using kmb::sim::Fault;
    const Fault agent_faults[] = {Fault::AgentAbsent, Fault::AgentBadComplement, Fault::AgentFifoStuck,
                                  Fault::AgentWriteFails};
    std::vector<Fault> faults;
    for (int bit = 0; bit < 4; ++bit) {
        if ((data[0] & (1 << bit)) != 0) {
            faults.push_back(agent_faults[bit]);
        }
    }
    kmb::fuzz::FuzzCard card(faults);
    kmb::agent_module() = kmb::AgentModule{};
    kmb::agent_init();
    kmb::lm77_state = kmb::Lm77State{};
    kmb::lm77_init();
    // The daemon's receive cuts what does not fit its room, as MSG_NOERROR does; the room is the
    // same on the card and here.
    kmb::AgentdMessage msg{};
    msg.mtype = 1;
    const std::size_t n = std::min(size - 1, static_cast<std::size_t>(kmb::AGENTD_RECEIVE_ROOM));
    std::memcpy(msg.text, data + 1, n);
    kmb::agentd_dispatch(&msg, static_cast<int>(n));
    kmb::fuzz::drain_daemon_queues();
    return 0;
}
