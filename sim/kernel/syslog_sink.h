// The card's system log as the fixture keeps it: every line the program hands to syslog,
// with its priority and card time, appended to a file and kept in memory for tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kmb::sim {

class VirtualClock;

class SysLogSink {
public:
    struct Entry {
        int priority;
        std::string message; // exactly as handed over, line ends included
    };

    // `follow_links`: the file is the operator's own choice (--syslog), which may be a link;
    // the state folder's own log is never written through one.
    SysLogSink(std::filesystem::path file, VirtualClock& clock, bool follow_links = false)
        : file_(std::move(file)), clock_(clock), follow_links_(follow_links)
    {
    }

    void open(const char* ident, int option, int facility);
    void close();
    void write(int priority, const char* message);

    const std::vector<Entry>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

private:
    std::filesystem::path file_;
    VirtualClock& clock_;
    bool follow_links_;
    std::string ident_ = "kmbdiag";
    std::vector<Entry> entries_;
};

} // namespace kmb::sim
