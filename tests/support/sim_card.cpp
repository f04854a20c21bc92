#include "support/sim_card.h"

namespace kmb::test {

SimCard::SimCard(std::vector<sim::Fault> faults, std::vector<std::pair<std::string, std::string>> env)
    : SimCard([&] {
          sim::SimConfig config;
          config.faults = std::move(faults);
          config.env = std::move(env);
          return config;
      }())
{
}

SimCard::SimCard(sim::SimConfig config)
{
    if (config.state_dir.empty()) {
        config.state_dir = state_.path().string();
    }
    state_dir_ = config.state_dir;
    config.speed = 0;
    config.start_time = kTestEpoch;
    installed_ = std::make_unique<sim::InstalledCard>(config);
    installed_->card().trace().enable(true);
}

std::vector<std::string> SimCard::trace_of(const std::string& prefix) const
{
    std::vector<std::string> lines;
    for (const std::string& line : installed_->card().trace().lines()) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> SimCard::syslog_lines() const
{
    std::vector<std::string> lines;
    for (const auto& entry : installed_->card().syslog().entries()) {
        lines.push_back(std::to_string(entry.priority) + " " + entry.message);
    }
    return lines;
}

} // namespace kmb::test
