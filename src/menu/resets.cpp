#include "menu/resets.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>

#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "diag/options.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr int kWatchdogAnswerSize = 20;
constexpr int kResetAnswerSize = 6;
constexpr unsigned kWatchdogUnloadDelayS = 1;
constexpr unsigned kResetSettleS = 5;
constexpr unsigned kResetPulseS = 3;

struct PendingReset {
    const char* marker;
    const char* asked;   // "It was %s, but cpld shows 0x%x"
    const char* verdict; // the line's start, up to its dots
    bool (*matches)(uint8_t reason);
};

constexpr PendingReset kPendingResets[] = {
    {WATCHDOG_MARKER, "watch dog reset", "Watchdog reset test................",
     [](uint8_t reason) { return (reason & RESET_BY_WATCHDOG) != 0; }},
    {PRIMARY_MARKER, "primary reset", "Counter agent primary reset test................",
     [](uint8_t reason) { return reason == RESET_TO_PRIMARY; }},
    {SECONDARY_MARKER, "secondary reset", "Counter agent secondary reset test................",
     [](uint8_t reason) { return reason == RESET_TO_SECONDARY; }},
};

// A marker is an empty file: its existence is the whole message.
bool create_marker(const char* path)
{
    const int fd = os::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return false;
    }
    os::close(fd);
    return true;
}

bool marker_present(const char* path)
{
    const int fd = os::open(path, O_RDONLY);
    if (fd < 0) {
        return false;
    }
    os::close(fd);
    return true;
}

// Keeps the raw reason where the card's start scripts look for the image it runs.
void record_backup_image(uint8_t reason)
{
    const int fd = os::open(BACKUP_FW_RECORD, O_WRONLY | O_CREAT, 0444);
    if (fd < 0) {
        std::printf("open error for %s errno = %d\n", BACKUP_FW_RECORD, errno);
        return;
    }
    os::write(fd, &reason, 1);
    os::close(fd);
}

bool answered_yes(int size)
{
    char answer[kWatchdogAnswerSize];
    return os::read_line(answer, size) != nullptr && parse_yes_no(answer) == 1;
}

} // namespace

int read_cpld_reset_reason(uint8_t* reason)
{
    *reason = 0; // no register, no reason: every pending marker is then judged a mismatch
    const int fd = os::open("/dev/mem", O_RDONLY);
    if (fd < 0) {
        std::printf("open error errno = %d\n", errno);
        return 0;
    }
    void* window = os::mmap(nullptr, 1, PROT_READ, MAP_PRIVATE, fd, static_cast<off_t>(CPLD_RESET_REASON_ADDRESS));
    if (window == MAP_FAILED) {
        std::printf("mmap error errno = %d\n", errno);
        os::close(fd);
        return 0;
    }
    os::close(fd); // the window stays
    const uint8_t value = *static_cast<const volatile uint8_t*>(window);
    if (os::munmap(window, 1) != 0) {
        std::printf("munmap error errno = %d\n", errno);
    }
    std::printf(" cpld = %x\n", value);
    *reason = value;
    if ((value & RESET_BACKUP_IMAGE) != 0) {
        record_backup_image(value);
    }
    return 0;
}

void verify_reset_markers(uint8_t reason)
{
    char command[64];
    for (const PendingReset& pending : kPendingResets) {
        if (!marker_present(pending.marker)) {
            continue;
        }
        // Gone before its verdict, so that each verdict is given once.
        std::snprintf(command, sizeof command, "rm %s", pending.marker);
        os::system(command);
        if (pending.matches(reason)) {
            std::printf("%sPASS\n", pending.verdict);
        } else {
            std::printf("The reset and CPLD reason doesn't match\n");
            std::printf("It was %s, but cpld shows 0x%x\n", pending.asked, reason);
            std::printf("%sFAIL\n", pending.verdict);
        }
    }
}

int watchdog_reset_test()
{
    std::printf("WARNING: This test will reset the system, if the system\n");
    std::printf("         doesn't reset within 5 seconds, check your watchdog\n");
    std::printf("DO you want to run the test (y/n) : ");
    if (!answered_yes(kWatchdogAnswerSize)) {
        return 0;
    }
    if (!create_marker(WATCHDOG_MARKER)) {
        std::perror("Error open file to write");
    }
    os::sleep(kWatchdogUnloadDelayS);
    // Nobody pets the watchdog once its module is gone.
    os::system("rmmod vexa_wdog");
    return 0;
}

int counter_agent_reset_test(int image)
{
    std::printf("WARNING: This test will reset the system, if the system\n");
    std::printf("         doesn't reset within 5 seconds, check your counter agent\n");
    std::printf("OK to start test? (y/n) :  ");
    if (!answered_yes(kResetAnswerSize)) {
        return 0;
    }
    if (image == RESET_IMAGE_PRIMARY) {
        std::printf("Start reset KMB with primary image\n");
        create_marker(PRIMARY_MARKER);
    } else {
        std::printf("Start reset KMB with secondary image\n");
        create_marker(SECONDARY_MARKER);
    }
    int result = 0;
    os::sleep(kResetSettleS);
    int fd = -1;
    if (i2c_dev_open(&fd, COUNTER_AGENT_ADDRESS) != ERR_NONE) {
        std::perror("Error open i2c device");
        return 1;
    }
    const uint8_t line = image == RESET_IMAGE_PRIMARY ? CA_RESET_PRIMARY : CA_RESET_SECONDARY;
    const auto others = static_cast<uint8_t>(~line);
    io_port_write_reg(fd, REG_POLARITY, 0x00);
    io_port_write_reg(fd, REG_OUTPUT, line);   // high before it becomes an output
    io_port_write_reg(fd, REG_CONFIG, others); // only the chosen line drives
    io_port_write_reg(fd, REG_OUTPUT, others); // the line goes low
    os::sleep(kResetPulseS);
    io_port_write_reg(fd, REG_OUTPUT, line);
    if (os::close(fd) != 0) {
        std::perror("Error closing counter agent");
        result = 1;
    }
    return result;
}

int reset_primary_test() { return counter_agent_reset_test(RESET_IMAGE_PRIMARY); }
int reset_secondary_test() { return counter_agent_reset_test(RESET_IMAGE_SECONDARY); }

} // namespace kmb
