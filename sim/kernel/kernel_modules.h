// The card kernel's loaded modules, as rmmod sees them: a name, and what its driver stops
// doing when it goes.
#pragma once

#include <functional>
#include <map>
#include <string>

namespace kmb::sim {

class KernelModules {
public:
    void load(const std::string& name, std::function<void()> on_unload) { loaded_[name] = std::move(on_unload); }
    bool loaded(const std::string& name) const { return loaded_.count(name) != 0; }
    // False when no such module is loaded.
    bool unload(const std::string& name)
    {
        const auto it = loaded_.find(name);
        if (it == loaded_.end()) {
            return false;
        }
        std::function<void()> on_unload = std::move(it->second);
        loaded_.erase(it);
        if (on_unload) {
            on_unload();
        }
        return true;
    }

private:
    std::map<std::string, std::function<void()>> loaded_;
};

} // namespace kmb::sim
