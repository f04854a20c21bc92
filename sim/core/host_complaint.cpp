#include "sim/core/host_complaint.h"

#include <cstdio>
#include <set>

namespace kmb::sim {

bool complain_once(const std::string& what, const std::string& message)
{
    static std::set<std::string> told;
    if (!told.insert(what).second) {
        return false;
    }
    std::fprintf(stderr, "kmbdiag-sim: %s\n", message.c_str());
    return true;
}

} // namespace kmb::sim
