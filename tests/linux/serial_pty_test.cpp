// The serial port test on a real pseudo-terminal of this machine's kernel, through LinuxOs: the
// termios it sets pass by pass and gives back are the kernel's own, with the target's own
// constants. A pty has no modem lines and no far end, so the fixture's connector stands in
// front of it: the modem-line requests are answered as the loopback wires them, and what the
// port sends is read off the master side and written back into it.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include "board/serial_port.h"
#include "os/forwarding_os.h"
#include "os/linux_os.h"
#include "support/capture.h"

namespace kmb::test {
namespace {

// No wait on the pty should come near this; it only keeps a broken loop from hanging the suite.
constexpr int kGiveUpMs = 10'000;

class PtyLoopback final : public os::ForwardingOs {
public:
    PtyLoopback(os::Os& next, int master, std::string slave, uint8_t flip)
        : ForwardingOs(next), master_(master), slave_(std::move(slave)), flip_(flip)
    {
    }

    // Every tcgetattr of the port as the kernel had it right after each tcsetattr, and at the close.
    const std::vector<termios>& applied() const { return applied_; }
    const termios& at_close() const { return at_close_; }

    int open(const char* path, int flags, mode_t mode) override
    {
        if (std::strcmp(path, SERIAL_PORT_PATH) != 0) {
            errno = ENOENT; // the card's other devices are not on this machine
            return -1;
        }
        port_ = next().open(slave_.c_str(), flags | O_NOCTTY, mode);
        return port_;
    }
    int close(int fd) override
    {
        if (fd == port_) {
            ::tcgetattr(fd, &at_close_);
            port_ = -1;
        }
        return next().close(fd);
    }
    int ioctl(int fd, unsigned long request, unsigned long arg) override
    {
        auto* word = reinterpret_cast<int*>(arg);
        if (fd == port_ && request == TIOCMSET) {
            lines_ = *word & (TIOCM_DTR | TIOCM_RTS);
            return 0;
        }
        if (fd == port_ && request == TIOCMGET) {
            *word = lines_ | ((lines_ & TIOCM_RTS) != 0 ? TIOCM_CTS : 0) |
                    ((lines_ & TIOCM_DTR) != 0 ? TIOCM_CAR | TIOCM_DSR : 0);
            return 0;
        }
        return next().ioctl(fd, request, arg);
    }
    int tcsetattr(int fd, int action, const struct termios* attr) override
    {
        const int rc = next().tcsetattr(fd, action, attr);
        if (fd == port_ && rc == 0) {
            termios now{};
            ::tcgetattr(fd, &now);
            applied_.push_back(now);
        }
        return rc;
    }
    ssize_t write(int fd, const void* buf, size_t count) override
    {
        const ssize_t n = next().write(fd, buf, count);
        if (fd == port_ && n > 0) {
            loop_back(static_cast<size_t>(n));
        }
        return n;
    }
    void openlog(const char*, int, int) override {}
    void closelog() override {}
    void syslog(int, const char*) override {}

private:
    // The connector's wire: what the port sent comes back on its input.
    void loop_back(size_t count)
    {
        std::vector<uint8_t> bytes;
        while (bytes.size() < count) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, kGiveUpMs) <= 0) {
                break;
            }
            uint8_t chunk[1024];
            const ssize_t k = ::read(master_, chunk, std::min(sizeof chunk, count - bytes.size()));
            if (k <= 0) {
                break;
            }
            bytes.insert(bytes.end(), chunk, chunk + k);
        }
        for (uint8_t& b : bytes) {
            b ^= flip_;
        }
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    int master_;
    std::string slave_;
    uint8_t flip_;
    int port_ = -1;
    int lines_ = 0;
    std::vector<termios> applied_;
    termios at_close_{};
};

// A pty whose slave starts cooked, as a console would be: had the test kept any of it, the
// kernel would turn line ends round, swallow flow-control bytes or hold input for a line end.
class SerialOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        slave_ = ptsname(master_);
        const int fd = ::open(slave_.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(fd, 0);
        termios cooked{};
        ASSERT_EQ(::tcgetattr(fd, &cooked), 0);
        cooked.c_iflag = ICRNL | IXON;
        cooked.c_oflag = OPOST | ONLCR;
        cooked.c_cflag = B9600 | CS7 | PARENB | CREAD | HUPCL;
        cooked.c_lflag = ISIG | ICANON | ECHO | ECHOE;
        cooked.c_cc[VMIN] = 1;
        cooked.c_cc[VTIME] = 0;
        cfsetispeed(&cooked, B9600);
        cfsetospeed(&cooked, B9600);
        ASSERT_EQ(::tcsetattr(fd, TCSANOW, &cooked), 0);
        ASSERT_EQ(::tcgetattr(fd, &before_), 0);
        // The master keeps the slave's settings while the test opens and closes it.
        ::close(fd);
    }
    void TearDown() override
    {
        if (master_ >= 0) {
            ::close(master_);
        }
    }

    int run(PtyLoopback& connector, std::string* out)
    {
        os::Os* previous = os::install(&connector);
        CapturedOutput capture;
        const int result = serial_port_test();
        capture.stop();
        os::install(previous);
        *out = capture.out();
        return result;
    }

    os::LinuxOs linux_;
    int master_ = -1;
    std::string slave_;
    termios before_{};
};

bool same_settings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 && cfgetospeed(&a) == cfgetospeed(&b) &&
           cfgetispeed(&a) == cfgetispeed(&b);
}

TEST_F(SerialOnPty, EveryPassIsRaw8N1AtItsSpeedAndThePortGetsItsSettingsBack)
{
    struct Case {
        const char* title;
        uint8_t flip; // what the stand-in wire does to each byte
        int result;
        size_t passes; // the passes that set the port
        std::string shows;
    };
    const Case cases[] = {
        {"looped back", 0x00, 0, 15, "Serial port test .......................PASSED\n"},
        {"bit 0 flipped", 0x01, 1, 1,
         "data error, i = 10, expected 0xa, receive 0xb\nSerial port test .......................FAILED\n"},
    };
    const speed_t speeds[] = {B115200, B57600, B38400, B19200, B9600};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        PtyLoopback connector(linux_, master_, slave_, c.flip);
        std::string out;
        EXPECT_EQ(run(connector, &out), c.result);
        EXPECT_NE(out.find(c.shows), std::string::npos) << out;

        const std::vector<termios>& applied = connector.applied();
        ASSERT_EQ(applied.size(), c.passes + 1) << "one setting per pass, then the port's own";
        for (size_t pass = 0; pass < c.passes; ++pass) {
            SCOPED_TRACE("pass " + std::to_string(pass));
            const termios& t = applied[pass];
            EXPECT_EQ(cfgetospeed(&t), speeds[pass % 5]);
            EXPECT_EQ(cfgetispeed(&t), speeds[pass % 5]);
            EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
            EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), static_cast<tcflag_t>(CREAD | CLOCAL));
            EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u);
            EXPECT_EQ(t.c_iflag, 0u);
            EXPECT_EQ(t.c_oflag & OPOST, 0u);
            EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHOE | ISIG), 0u);
            EXPECT_EQ(t.c_cc[VMIN], 0);
            EXPECT_EQ(t.c_cc[VTIME], 10);
        }
        EXPECT_TRUE(same_settings(applied.back(), before_)) << "the port's own settings are set back";
        EXPECT_TRUE(same_settings(connector.at_close(), before_)) << "and are what it is closed with";
    }
}

} // namespace
} // namespace kmb::test
