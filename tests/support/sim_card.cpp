#include "support/sim_card.h"

#include <cstdlib>
#include <stdexcept>

namespace kmb::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kmbtest-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

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
    card_ = std::make_unique<sim::Card>(config);
    card_->trace().enable(true);
    os_ = std::make_unique<sim::SimOs>(*card_);
    previous_ = os::install(os_.get());
}

SimCard::~SimCard() { os::install(previous_); }

std::vector<std::string> SimCard::trace_of(const std::string& prefix) const
{
    std::vector<std::string> lines;
    for (const std::string& line : card_->trace().lines()) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> SimCard::syslog_lines() const
{
    std::vector<std::string> lines;
    for (const auto& entry : card_->syslog().entries()) {
        lines.push_back(std::to_string(entry.priority) + " " + entry.message);
    }
    return lines;
}

} // namespace kmb::test
