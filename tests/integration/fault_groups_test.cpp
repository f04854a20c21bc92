// kmbdiag-sim --list-faults groups the catalogue by the test that sees each fault. The groups
// are data beside the catalogue; this holds them to the fault-coverage table, so that a fault
// whose detection moves to another test, to the daemon or to the known gaps moves group too.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "integration/fault_detections.h"
#include "sim/core/fault_groups.h"
#include "sim/core/faults.h"

namespace kmb::test {
namespace {

using sim::FaultGroup;

// The group of the run a coverage row names first, by the run's menu number.
std::optional<FaultGroup> group_of_run(const std::string& title)
{
    if (title == "Start-up") {
        return FaultGroup::StartUp;
    }
    const std::map<std::string, FaultGroup> by_menu = {
        {"(menu 2)", FaultGroup::SerialPort},  {"(menu 3)", FaultGroup::CounterAgent}, {"(menu 4)", FaultGroup::AgentBus},
        {"(menu 5)", FaultGroup::Temperature}, {"(menu 6)", FaultGroup::AgentIrq},     {"(menu 7)", FaultGroup::AgentIirq},
        {"(menu 8)", FaultGroup::Memory},      {"(menu 9)", FaultGroup::Ethernet},     {"(menu 13)", FaultGroup::Watchdog},
        {"(menu 14)", FaultGroup::CounterAgentReset}, {"(menu 15)", FaultGroup::CounterAgentReset},
    };
    for (const auto& [menu, group] : by_menu) {
        if (title.find(menu) != std::string::npos) {
            return group;
        }
    }
    return std::nullopt;
}

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
        const std::optional<FaultGroup> first = group_of_run(row->shows.front().run->title);
        ASSERT_TRUE(first.has_value()) << "a run no group stands for: " << row->shows.front().run->title;
        EXPECT_EQ(group, *first) << "first seen in " << row->shows.front().run->title;
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
