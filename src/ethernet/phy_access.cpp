#include "ethernet/phy_access.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>

#include "devices/mii_regs.h"
#include "diag/input.h"
#include "diag/options.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr int kPhyInputSize = 80;
constexpr long kPhyRegInputMax = 0x20;
constexpr int kResetPolls = 11; // the 11th only decides nothing: a reset seen there is too late
// The next-page bit of a partner that keeps sending pages would hold the prompt forever; a
// partner has no business with more pages than this.
constexpr int kNextPageLimit = 64;

int open_phy_socket()
{
    const int sock = os::socket(AF_INET, SOCK_STREAM, 0);
    if (sock < 0) {
        std::perror("diag:Socket listenfd failed.\n");
    }
    return sock;
}

// One line from the operator; false at the end of input.
bool read_input(char* line)
{
    return os::read_line(line, kPhyInputSize) != nullptr;
}

} // namespace

const PhyRegName phy_reg_names[PHY_REG_NAME_COUNT] = {
    {"BMCR", MII_BMCR},     {"BMSR", MII_BMSR},       {"PHYIDR1", MII_PHYIDR1}, {"PHYIDR2", MII_PHYIDR2},
    {"ANAR", MII_ANAR},     {"ANLPAR", MII_ANLPAR},   {"ANER", MII_ANER},       {"ANNPTR", MII_ANNPTR},
    {"PHYSTS", MII_PHYSTS}, {"FCSCR", MII_FCSCR},     {"RECR", MII_RECR},       {"PCSR", MII_PCSR},
    {"PHYCTRL", MII_PHYCTRL}, {"10BTSCR", MII_10BTSCR}, {"CDCTRL", MII_CDCTRL},
};

void phy_request_init(ifreq* ifr)
{
    std::memset(ifr, 0, sizeof *ifr);
    std::strncpy(ifr->ifr_name, ETH_IFNAME, IFNAMSIZ - 1);
}

PhyRegRequest phy_request_of(const ifreq& ifr)
{
    PhyRegRequest req;
    std::memcpy(&req, &ifr.ifr_ifru, sizeof req);
    return req;
}

void phy_request_store(ifreq* ifr, const PhyRegRequest& req) { std::memcpy(&ifr->ifr_ifru, &req, sizeof req); }

// The request is issued on `ifr` as it stands, so that a read that fails leaves the previous
// value in val_out, as the dump relies on.
static int phy_read_into(int sock, ifreq* ifr, int reg)
{
    PhyRegRequest req = phy_request_of(*ifr);
    req.reg_num = static_cast<uint32_t>(reg);
    phy_request_store(ifr, req);
    return os::ioctl(sock, PHY_READ_REQUEST, ifr);
}

int phy_read_reg(int sock, int reg, uint32_t* value)
{
    ifreq ifr;
    phy_request_init(&ifr);
    const int status = phy_read_into(sock, &ifr, reg);
    *value = phy_request_of(ifr).val_out;
    return status;
}

int phy_write_reg(int sock, int reg, uint32_t value)
{
    ifreq ifr;
    phy_request_init(&ifr);
    PhyRegRequest req{};
    req.reg_num = static_cast<uint32_t>(reg);
    req.val_in = value;
    phy_request_store(&ifr, req);
    return os::ioctl(sock, PHY_WRITE_REQUEST, &ifr);
}

int phy_reset()
{
    const int sock = open_phy_socket();
    if (sock < 0) {
        return 1;
    }
    phy_write_reg(sock, MII_BMCR, BMCR_RESET);
    bool completed = false;
    for (int poll = 1; poll <= kResetPolls && !completed; ++poll) {
        os::sleep(1);
        uint32_t bmcr = 0;
        phy_read_reg(sock, MII_BMCR, &bmcr);
        // The driver sign-extends: a reset bit still set reads as a negative word.
        completed = static_cast<int32_t>(bmcr) >= 0 && poll < kResetPolls;
    }
    os::close(sock);
    return completed ? 0 : 1;
}

int phy_dump_regs()
{
    const int sock = open_phy_socket();
    if (sock < 0) {
        return 1;
    }
    ifreq ifr;
    phy_request_init(&ifr);
    for (const PhyRegName& row : phy_reg_names) {
        phy_read_into(sock, &ifr, row.reg);
        std::printf("%s:  0x%x\n", row.name, phy_request_of(ifr).val_out);
    }
    os::close(sock);
    return 0;
}

int32_t parse_hex_input(const char* line)
{
    return parse_number(line, 16);
}

int phy_edit_reg()
{
    const int sock = open_phy_socket();
    if (sock < 0) {
        return 1;
    }
    char line[kPhyInputSize];
    // The end of input at any prompt ends the access where it stands, with nothing written.
    std::printf("please type the register #(hex):  ");
    int32_t reg = kPhyRegInputMax + 1;
    while (reg > kPhyRegInputMax) {
        if (!read_input(line)) {
            os::close(sock);
            return 0;
        }
        reg = parse_hex_input(line);
    }
    uint32_t value = 0;
    phy_read_reg(sock, reg, &value);
    std::printf("\nreg 0x%x = 0x%x\n", static_cast<unsigned>(reg), value);
    if (reg == MII_ANLPAR || reg == MII_ANNPTR) {
        int pages = 0;
        do {
            phy_read_reg(sock, reg, &value);
            std::printf("next page: 0x%x\n", value);
            ++pages;
        } while ((value & MII_NEXT_PAGE) != 0 && pages < kNextPageLimit && diag_options.interrupted == 0);
    }
    std::printf("do you want to write to it? ");
    if (read_input(line) && (line[0] == 'y' || line[0] == 'Y')) {
        std::printf("Please enter the value(hex): 0x");
        if (read_input(line)) {
            phy_write_reg(sock, reg, static_cast<uint32_t>(parse_hex_input(line)));
        }
    }
    os::close(sock);
    return 0;
}

} // namespace kmb
