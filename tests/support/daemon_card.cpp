#include "support/daemon_card.h"

#include <cstring>
#include <string>

#include "ipc/msg_queue.h"
#include "sim/daemons/seld_service.h"
#include "support/private_ipc.h"

namespace kmb::test {

void DaemonCard::TearDown()
{
    agentd_.reset();
    seld_.reset();
    remove_all_queues();
    ipc_queue_cache_reset();
    AgentCard::TearDown();
}

std::vector<StoredSelRecord> DaemonCard::stored_records()
{
    std::string bytes;
    card().fs().read_text(SEL_RECORDS_PATH, bytes);
    std::vector<StoredSelRecord> records(bytes.size() / sizeof(StoredSelRecord));
    if (!records.empty()) {
        std::memcpy(records.data(), bytes.data(), records.size() * sizeof(StoredSelRecord));
    }
    return records;
}

} // namespace kmb::test
