// The card's backend on this machine's real kernel, with a veth pair standing in for eth0:
// every call is LinuxOs's, except the Ethernet driver's two private PHY requests, which veth
// does not have and the simulated PHY answers, and the sleeps, which move the PHY's clock by
// their seconds but wait only a moment of real time (the kernel's frames need no more). A test
// can pull the PHY's cable, and can keep the kernel's promiscuous flag off while the program
// believes it set it, to learn whether the frames need it.
#pragma once

#include <algorithm>
#include <cstring>
#include <netinet/in.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "ethernet/phy_access.h"
#include "os/forwarding_os.h"
#include "os/linux_os.h"
#include "sim/chips/phy.h"
#include "sim/core/clock.h"
#include "sim/core/faults.h"

namespace kmb::test {

class PhyOverLinuxOs final : public os::ForwardingOs {
public:
    PhyOverLinuxOs() : ForwardingOs(linux_), clock_(0, 0), phy_(clock_, faults_, [this] { return cable_in; }) {}

    int ioctl(int fd, unsigned long request, unsigned long arg) override
    {
        if (request == SIOCSIFFLAGS && promisc_withheld) {
            ifreq withheld = *reinterpret_cast<const ifreq*>(arg);
            withheld.ifr_flags = static_cast<short>(withheld.ifr_flags & ~IFF_PROMISC);
            return ForwardingOs::ioctl(fd, request, reinterpret_cast<unsigned long>(&withheld));
        }
        if (request != PHY_READ_REQUEST && request != PHY_WRITE_REQUEST) {
            return ForwardingOs::ioctl(fd, request, arg);
        }
        auto* ifr = reinterpret_cast<ifreq*>(arg);
        PhyRegRequest req = phy_request_of(*ifr);
        if (req.reg_num >= 32) {
            errno = EINVAL;
            return -1;
        }
        if (request == PHY_READ_REQUEST) {
            req.val_out = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(phy_.read(static_cast<int>(req.reg_num)))));
            phy_request_store(ifr, req);
        } else {
            phy_.write(static_cast<int>(req.reg_num), static_cast<uint16_t>(req.val_in));
        }
        return 0;
    }

    unsigned sleep(unsigned seconds) override
    {
        clock_.advance(static_cast<int64_t>(seconds) * 1'000'000);
        ::usleep(seconds * kRealUsPerSecond);
        return 0;
    }

    // Notes where each connection taken came from, which the program itself does not ask.
    int accept(int fd, struct sockaddr* addr, socklen_t* length) override
    {
        sockaddr_in from{};
        socklen_t from_length = sizeof from;
        const int conn = ForwardingOs::accept(fd, reinterpret_cast<sockaddr*>(&from), &from_length);
        if (conn >= 0) {
            accepted_from = from.sin_addr;
            if (addr != nullptr && length != nullptr) {
                std::memcpy(addr, &from, std::min<std::size_t>(*length, sizeof from));
                *length = sizeof from;
            }
        }
        return conn;
    }

    sim::Phy& phy() { return phy_; }
    in_addr accepted_from{};
    bool cable_in = true;          // the PHY's side of the fixture's cable
    bool promisc_withheld = false; // SIOCSIFFLAGS never sets IFF_PROMISC in the kernel

private:
    static constexpr unsigned kRealUsPerSecond = 30'000;
    os::LinuxOs linux_;
    sim::VirtualClock clock_;
    sim::Faults faults_;
    sim::Phy phy_;
};

} // namespace kmb::test
