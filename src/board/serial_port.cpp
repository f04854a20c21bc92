#include "board/serial_port.h"

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

#include "diag/indications.h"
#include "diag/options.h"
#include "diag/result_line.h"
#include "os/os.h"

namespace kmb {

// The modem-line word is the tty layer's; the connector's table below is written in these bits.
static_assert(TIOCM_DTR == 0x002 && TIOCM_RTS == 0x004 && TIOCM_CTS == 0x020 && TIOCM_CAR == 0x040 &&
              TIOCM_DSR == 0x100);

namespace {

constexpr int kSerialBufferSize = 512;
constexpr int kSerialPasses = 15;
constexpr int kMaxDataErrors = 10; // one more is printed, then the compare stops
// VTIME in tenths of a second: a read gives up one second after the last byte came in.
constexpr cc_t kSerialReadTimeout = 10;

constexpr int kAllLines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_CAR | TIOCM_DSR;

struct LineStep {
    int set;
    int expected;
    const char* expected_text;
};

// The connector loops RTS to CTS and DTR to CAR and DSR; each step drives the card's two
// outputs and must read back exactly those and what they reach.
constexpr LineStep kLineSteps[] = {
    {0, 0, "expected: ALL LINES '0'\n"},
    {TIOCM_DTR | TIOCM_RTS, kAllLines, "expected: DTR, RTS, CTS, CAR, DSR\n"},
    {TIOCM_RTS, TIOCM_RTS | TIOCM_CTS, "expected: RTS, CTS\n"},
    {TIOCM_DTR | TIOCM_RTS, kAllLines, "expected: DTR, RTS, CTS, CAR, DSR\n"},
    {TIOCM_DTR, TIOCM_DTR | TIOCM_CAR | TIOCM_DSR, "expected: DTR, CAR, DSR\n"},
    {TIOCM_DTR | TIOCM_RTS, kAllLines, "expected: DTR, RTS, DSR, CAR, CTS\n"},
};

struct LineName {
    int bit;
    const char* name;
};

constexpr LineName kLineNames[] = {
    {TIOCM_DTR, "DTR "}, {TIOCM_RTS, "RTS "}, {TIOCM_CTS, "CTS "}, {TIOCM_CAR, "CAR "}, {TIOCM_DSR, "DSR "},
};

// Fast to slow, by pass number modulo 5; the constants are the target's own, which differ
// between the card and a workstation.
constexpr speed_t kPassSpeeds[] = {B115200, B57600, B38400, B19200, B9600};

constexpr const char* kHints[] = {
    "** Make sure the KMB card is properly seated in the ***\n",
    "** fixture, or you may have a bad CPU               ***\n",
};

// What the port is left with between the passes and at the end.
struct SerialRun {
    int fd = -1;
    uint8_t* tx = nullptr;
    uint8_t* rx = nullptr;
    termios before{};
    bool have_before = false; // the attributes of before pass 0 were read
    int data_errors = 0;
};

// 8 data bits, no parity, one stop bit, no flow control, modem lines ignored, raw input and
// output, and a read that returns what has come or 0 after a second of silence.
termios pass_attributes(const termios& read, speed_t speed)
{
    termios attr = read;
    attr.c_cflag = speed | CS8 | CREAD | CLOCAL;
    attr.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ISIG);
    attr.c_iflag = 0;
    attr.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    attr.c_cc[VMIN] = 0;
    attr.c_cc[VTIME] = kSerialReadTimeout;
    // The speed is in c_cflag already; these keep the C library's own copies in step with it.
    cfsetispeed(&attr, speed);
    cfsetospeed(&attr, speed);
    return attr;
}

// Sends the pattern and takes in what comes back until all is in or the line stays silent.
// Returns 1 on a write or read error (already reported), else 0; the counts say the rest.
int exchange(const SerialRun& run, int* sent, int* received)
{
    int failed = 0;
    bool sending_done = false;
    int to_send = kSerialBufferSize;
    int to_receive = kSerialBufferSize;
    while (true) {
        if (!sending_done) {
            const ssize_t n = os::write(run.fd, run.tx + *sent, static_cast<size_t>(to_send));
            if (n == -1) {
                std::perror("serial port write error: ");
                failed = 1;
                break;
            }
            if (n == 0) {
                sending_done = true;
            } else {
                *sent += static_cast<int>(n);
                to_send -= static_cast<int>(n);
            }
        }
        // All 512 in: a read of length 0 returns 0 at once and ends the loop.
        const ssize_t n = os::read(run.fd, run.rx + *received, static_cast<size_t>(to_receive));
        if (n == -1) {
            std::perror("error read:");
            failed = 1;
            break;
        }
        if (n == 0) {
            break;
        }
        *received += static_cast<int>(n);
        to_receive -= static_cast<int>(n);
    }
    return failed;
}

// Prints each differing byte, up to the limit; 1 when any differed.
int compare_data(SerialRun& run)
{
    int failed = 0;
    for (int i = 0; i < kSerialBufferSize; ++i) {
        if (run.tx[i] != run.rx[i]) {
            std::printf("data error, i = %d, expected 0x%x, receive 0x%x\n", i, run.tx[i], run.rx[i]);
            failed = 1;
            if (++run.data_errors > kMaxDataErrors) {
                break;
            }
        }
    }
    return failed;
}

// One pass at the speed its number gives: 0 when all 512 bytes came back as sent.
int data_pass(SerialRun& run, int pass)
{
    if (os::fcntl(run.fd, F_SETFL, 0) == -1) {
        std::perror("file fcntl:");
        return 1;
    }
    termios read_attr{};
    if (os::tcgetattr(run.fd, &read_attr) != 0) {
        std::perror("Error get serial port attribute");
        return 1;
    }
    if (pass == 0) {
        run.before = read_attr;
        run.have_before = true;
    }
    const termios attr = pass_attributes(read_attr, kPassSpeeds[pass % 5]);
    if (os::tcsetattr(run.fd, TCSANOW, &attr) == -1) {
        std::perror("Error set serial port attribute");
        return 1;
    }
    spinner_step();

    int sent = 0;
    int received = 0;
    int failed = exchange(run, &sent, &received);
    if (sent != kSerialBufferSize) {
        std::printf("i = %d\n", sent);
        std::printf("not all data sent out\n");
        return 1;
    }
    if (received != kSerialBufferSize) {
        std::printf("not all data received\n");
        return 1;
    }
    failed |= compare_data(run);
    return failed;
}

int data_test(SerialRun& run)
{
    run.tx = static_cast<uint8_t*>(os::calloc(kSerialBufferSize, 1));
    if (run.tx != nullptr) {
        run.rx = static_cast<uint8_t*>(os::calloc(kSerialBufferSize, 1));
    }
    if (run.tx == nullptr || run.rx == nullptr) {
        std::printf("Error allocate memory\n");
        return 1;
    }
    for (int i = 0; i < kSerialBufferSize; ++i) {
        run.tx[i] = static_cast<uint8_t>(i % 256);
    }
    for (int pass = 0; pass < kSerialPasses; ++pass) {
        if (data_pass(run, pass) != 0) {
            return 1;
        }
    }
    return 0;
}

// Every path that opened the port ends here: pending input dropped, the port's own settings
// back, the buffers and the descriptor released.
int clean_up(SerialRun& run)
{
    int failed = 0;
    os::tcflush(run.fd, TCIFLUSH);
    if (run.have_before) {
        os::tcsetattr(run.fd, TCSANOW, &run.before);
    }
    os::free(run.rx);
    os::free(run.tx);
    if (os::close(run.fd) != 0) {
        std::perror("Error closing serial port");
        failed = 1;
    }
    return failed;
}

} // namespace

void print_modem_status(int word)
{
    std::printf("modem status read: ");
    for (const LineName& line : kLineNames) {
        if ((word & line.bit) != 0) {
            std::printf("%s", line.name);
        }
    }
    std::printf("\n");
}

int serial_modem_line_test(int fd)
{
    for (const LineStep& step : kLineSteps) {
        int lines = step.set;
        if (os::ioctl(fd, TIOCMSET, &lines) == -1) {
            std::perror("set serial port status fail");
            return 1;
        }
        // Read back at once: the connector is wire, it needs no time to follow.
        int word = 0;
        if (os::ioctl(fd, TIOCMGET, &word) == -1) {
            std::perror("get serial port status fail");
            return 1;
        }
        if (word != step.expected) {
            std::printf("Error check control line\n");
            std::printf("%s", step.expected_text);
            print_modem_status(word);
            return 1;
        }
    }
    return 0;
}

int serial_port_test()
{
    indicate_clear();
    int failed = 0;
    SerialRun run;
    run.fd = os::open(SERIAL_PORT_PATH, O_RDWR);
    if (run.fd < 0) {
        std::perror("serial port open file fail");
        failed = 1;
    } else {
        failed = serial_modem_line_test(run.fd) != 0 || data_test(run) != 0;
        failed |= clean_up(run);
    }
    return report_result("Serial port test .......................", failed, kHints);
}

} // namespace kmb
