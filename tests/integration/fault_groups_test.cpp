// kmbdiag-sim --list-faults groups the catalogue by the test that sees each fault. The groups
// are data beside the catalogue; this holds them to the fault-coverage table, so that a fault
// whose detection moves to another test, to the daemon or to the known gaps moves group too.
#include <gtest/gtest.h>

#include <string>

#include "integration/fault_detections.h"
#include "sim/core/fault_groups.h"
#include "sim/core/faults.h"

namespace kmb::test {
namespace {

using sim::FaultGroup;

TEST(FaultGroups, EachFaultStandsUnderTheTestTheCoverageTableSeesItIn)
{
    for (const sim::FaultInfo& f : sim::fault_catalogue()) {
        SCOPED_TRACE(f.name);
        const FaultGroup group = sim::fault_group(f.fault);
        if (known_gaps().count(f.name) != 0) {
            EXPECT_EQ(group, FaultGroup::NoTest);
            continue;
        }
        if (daemon_row_of(f.name) != nullptr || daemon_recovery_of(f.name) != nullptr) {
            EXPECT_EQ(group, FaultGroup::AgentDaemon);
            continue;
        }
        const Detection* row = row_of(f.name);
        ASSERT_NE(row, nullptr) << "the coverage table has no row for it";
        ASSERT_FALSE(row->shows.empty());
        const CardRun& first = *row->shows.front().run;
        EXPECT_NE(first.group, FaultGroup::NoTest) << "a run no group stands for: " << first.title;
        EXPECT_EQ(group, first.group) << "first seen in " << first.title;
    }
}

TEST(FaultGroups, EveryGroupHasAFaultAndATitle)
{
    for (const sim::FaultGroupInfo& g : sim::fault_groups()) {
        bool any = false;
        for (const sim::FaultInfo& f : sim::fault_catalogue()) {
            any = any || sim::fault_group(f.fault) == g.group;
        }
        EXPECT_TRUE(any) << g.seen_by << ": a heading with no fault under it";
        EXPECT_NE(std::string(g.seen_by), "");
    }
}

} // namespace
} // namespace kmb::test
