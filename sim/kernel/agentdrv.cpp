#include "sim/kernel/agentdrv.h"

#include <cerrno>
#include <cstdio>

namespace kmb::sim {

namespace {

// The driver's own request numbers, plain integers rather than _IO() numbers.
constexpr unsigned long kArm = 0;
constexpr unsigned long kDisarm = 1;
constexpr unsigned long kStatus = 2;
constexpr unsigned long kRequest3 = 3;

constexpr int kStatusHostAgentRequest = 0x40;

// One descriptor of /dev/agentdrv: the node only takes ioctls, and hands them to the driver.
class AgentDriverFile final : public OpenFile {
public:
    AgentDriverFile(std::string path, AgentDriver& driver) : OpenFile(std::move(path)), driver_(driver) {}

    int ioctl(unsigned long request, unsigned long arg) override { return driver_.handle(request, arg); }

private:
    AgentDriver& driver_;
};

int refuse(int error)
{
    errno = error;
    return -1;
}

} // namespace

std::unique_ptr<OpenFile> AgentDriver::open(const std::string& path)
{
    return std::make_unique<AgentDriverFile>(path, *this);
}

int AgentDriver::handle(unsigned long request, unsigned long arg)
{
    const int result = serve(request, arg);
    if (trace_ != nullptr && trace_->enabled()) {
        const int error = errno;
        char line[96];
        // Arming and disarming name a line; the status and the driver's own request take none.
        const bool names_line = request == kArm || request == kDisarm;
        const int n = names_line ? std::snprintf(line, sizeof line, "agentdrv %lu %lu = ", request, arg)
                                 : std::snprintf(line, sizeof line, "agentdrv %lu = ", request);
        const auto used = static_cast<std::size_t>(n);
        if (result < 0) {
            std::snprintf(line + used, sizeof line - used, "-1 %s", error == EIO ? "EIO" : error == EINVAL ? "EINVAL" : "?");
        } else {
            std::snprintf(line + used, sizeof line - used, request == kStatus ? "0x%02x" : "%d", result);
        }
        trace_->note(line);
        errno = error;
    }
    return result;
}

int AgentDriver::serve(unsigned long request, unsigned long arg)
{
    if (request > kRequest3) {
        return refuse(EINVAL);
    }
    ++requests_[request];
    switch (request) {
    case kArm:
    case kDisarm:
        if (arg >= static_cast<unsigned long>(InterruptLines::kLines)) {
            return refuse(EINVAL);
        }
        if (request == kArm) {
            lines_.arm(static_cast<int>(arg));
        } else {
            lines_.disarm(static_cast<int>(arg));
        }
        return 0;
    case kStatus:
        if (faults_.act(Fault::AgentdrvStatusError)) {
            return refuse(EIO); // the driver lost its controller's status register
        }
        return agent_request_ && agent_request_() ? kStatusHostAgentRequest : 0;
    default:
        return 0;
    }
}

} // namespace kmb::sim
