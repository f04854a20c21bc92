// What reached the SEL daemon's queue (7), as the daemon would take it off: one request each.
#pragma once

#include <vector>

#include "ipc/sel.h"

namespace kmb::test {

struct SelSeen {
    long mtype = 0;
    int length = 0;
    int record_count = 0;
    std::vector<SelRecord> records;
};

// Takes every request waiting on queue 7, without waiting.
std::vector<SelSeen> take_sel_requests();

} // namespace kmb::test
