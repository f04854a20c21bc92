#include "integration/daemon_pair.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace kmb::test {

std::vector<int> data_bytes(const StoredSelRecord& record, std::initializer_list<int> at)
{
    std::vector<int> bytes;
    for (int i : at) {
        bytes.push_back(record.data[i]);
    }
    return bytes;
}

std::unique_ptr<DaemonProcess> DaemonPair::start_agentd(std::vector<std::string> options)
{
    return std::make_unique<DaemonProcess>(KMB_AGENTD_PATH, daemon_args(sim_->state().string(), std::move(options)));
}

std::unique_ptr<DaemonProcess> DaemonPair::start_seld()
{
    return std::make_unique<DaemonProcess>(KMB_SELD_PATH, daemon_args(sim_->state().string()));
}

void DaemonPair::start(std::vector<std::string> agent_options)
{
    seld_ = start_seld();
    agentd_ = start_agentd(std::move(agent_options));
    ASSERT_TRUE(seld_->running() && agentd_->running());
}

void DaemonPair::stop_daemons()
{
    EXPECT_EQ(agentd_->stop(), 0) << agentd_->errors();
    EXPECT_EQ(seld_->stop(), 0) << seld_->errors();
}

std::string DaemonPair::card_log() const
{
    std::ifstream in(sim_->state() / "syslog");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int DaemonPair::agentd_errors(const std::string& text, bool whole) const
{
    std::istringstream in(card_log());
    const std::string wanted = " kmb agentd: <3> " + text;
    int n = 0;
    for (std::string line; std::getline(in, line);) {
        const std::size_t at = line.find(wanted);
        n += at != std::string::npos && (!whole || at + wanted.size() == line.size()) ? 1 : 0;
    }
    return n;
}

} // namespace kmb::test
