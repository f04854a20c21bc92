#include "sim/kernel/agentdrv.h"

#include <cerrno>

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
