// What the host agent sends back: response pairs through the complement check, and FIFO
// entries through the event handler's decoding into SEL records. The first byte picks the
// event table in force (Tamber, Valdor or none); the rest is the agent's bytes.
#include <cstddef>
#include <cstdint>

#include "agent/agent_protocol.h"
#include "fuzz/support/fuzz_card.h"
#include "fuzz/support/private_queues.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kmb::fuzz::silence_stdout();
    kmb::fuzz::enter_private_ipc();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 4096) {
        return 0;
    }
    kmb::fuzz::FuzzCard card;
    kmb::AgentModule& m = kmb::agent_module();
    m = kmb::AgentModule{};
    const int table = data[0] % 3;
    m.event_list = table == 0 ? kmb::agent_tamber_events() : table == 1 ? kmb::agent_valdor_events() : nullptr;
    m.info.agent_id = table == 1 ? kmb::AGENT_ID_VALDOR : kmb::AGENT_ID_TAMBER;
    const int count = static_cast<int>(size - 1);
    kmb::agent_check_data(data + 1, count);
    kmb::agent_events_to_sel(data + 1, count);
    kmb::fuzz::drain_daemon_queues();
    return 0;
}
