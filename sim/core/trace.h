// What the devices of the simulated card saw, in order: bus transfers, opened nodes, shell
// commands. Tests read it to check the diagnostic's traffic; it is off unless asked for, so a
// long soak does not grow it.
#pragma once

#include <string>
#include <vector>

namespace kmb::sim {

class Trace {
public:
    void enable(bool on) { on_ = on; }
    bool enabled() const { return on_; }
    void note(std::string line)
    {
        if (on_) {
            lines_.push_back(std::move(line));
        }
    }
    const std::vector<std::string>& lines() const { return lines_; }
    void clear() { lines_.clear(); }

private:
    bool on_ = false;
    std::vector<std::string> lines_;
};

} // namespace kmb::sim
