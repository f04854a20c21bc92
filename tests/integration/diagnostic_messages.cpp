// The rows of the message table, in the order the card's code has them.
#include "integration/diagnostic_messages.h"

namespace kmb::test {
namespace {

// Reasons shared by several rows.
constexpr const char* kTinyAllocation =
    "a malloc of at most 1 MiB on a card that leaves its programs some 56 MiB: refused only on a card with far "
    "less memory than a KMB has (the simulator's --ram shows it), not a fault a card or fixture has; sure";
constexpr const char* kCloseNeverFails =
    "close of a descriptor the program holds, on a device node or socket whose driver has no release error; "
    "Linux gives back the descriptor whatever the driver says; sure";
constexpr const char* kSocketCall =
    "a socket or fcntl call on a socket the program has just made: fails only when descriptors or kernel "
    "memory run out, which the card's 64 descriptors and a diagnostic holding a handful never reach; sure";
constexpr const char* kTermios =
    "termios calls on the serial port's open descriptor: the card's UART driver fails none of them; sure";

} // namespace

const std::vector<Message>& diagnostic_messages()
{
    static const std::vector<Message> rows = {
        // The agent lines (menus 6 and 7).
        {"IRQ stuck LOW\n"},
        {"IIRQ stuck LOW\n"},
        {"IRQ line may stuck HIGH\n"},
        {"IIRQ line may stuck HIGH\n"},
        {"Expected agent interrupt didn't happen\n"},
        // The counter agent (menu 3).
        {"Error read back output port default value\n"},
        {"expect: 0x00         read: 0x%x\n"},
        {"Error read back polarity default value\n",
         "the polarity register is a latch inside the chip that the bus writes and reads as it does the output "
         "latch; a stuck polarity bit of the counter agent is a fault no card shows apart from the output latch's, "
         "which has its row; fairly sure"},
        {"expect: 0xF0         read: 0x%x\n", "follows the polarity read-back above; same reason"},
        {"Error read back configuration default value\n",
         "the configuration register is a latch like the polarity register; same reason, fairly sure"},
        {"expect: 0xFF         read: 0x%x\n", "follows the configuration read-back above; same reason"},
        {"Error open i2c device"},
        {"Error closing file %s\n", kCloseNeverFails},
        {"Error open interrupts file",
         "/proc/interrupts is made by the kernel itself; it cannot be missing while the kernel runs; sure"},
        // Memory (menu 8).
        {"no ECC proc file\n"},
        {"unable to allocate at least 2M byte memory\n"},
        {"cannot allocate memory\n",
         "the block was just found free by the sizing probes and handed back; a refusal right after needs another "
         "process taking the memory between the two calls, which the single-task test card does not run; fairly sure"},
        {"ECC error happened!\n"},
        {"Error reading data, expected = 0x%x, read = 0x%x\n"},
        {"too much error, exit\n"},
        // The serial port (menu 2).
        {"expected: ALL LINES '0'\n"},
        {"expected: DTR, RTS, CTS, CAR, DSR\n"},
        {"expected: RTS, CTS\n"},
        {"expected: DTR, CAR, DSR\n",
         "DTR alone: a short between lines that fails it fails the RTS-alone step before it, and an open line "
         "fails the both-on step first; only a line that acts one way would reach it; fairly sure"},
        {"expected: DTR, RTS, DSR, CAR, CTS\n",
         "the last both-on step, after four that passed: the six steps are set and read back in the same "
         "moment of the card's time, so a connector pin that opens or shorts fails an earlier step, and an "
         "intermittent one would have to open between the fifth read and the sixth, a chance too small for "
         "the factory to meet and no fault can aim at; fairly sure"},
        {"serial port write error: ",
         "a write to the serial port that the line discipline refuses outright: the card's tty layer blocks on "
         "a full transmit buffer instead, and the test's 512 bytes a pass never fill it (see `not all data "
         "sent out`); fairly sure"},
        {"error read:", kTermios},
        {"data error, i = %d, expected 0x%x, receive 0x%x\n"},
        {"file fcntl:", kTermios},
        {"Error get serial port attribute", kTermios},
        {"Error set serial port attribute", kTermios},
        {"i = %d\n", "printed only with the next row's short write; same reason"},
        {"not all data sent out\n",
         "each pass writes 512 bytes on a blocking descriptor into the driver's 4 KiB transmit buffer, which "
         "takes them all even from a transmitter that has stopped (a UART whose clock died): that pass then "
         "fails `not all data received`, and the test ends before the buffer could fill; sure"},
        {"not all data received\n"},
        {"Error allocate memory\n", kTinyAllocation},
        {"Error closing serial port", kCloseNeverFails},
        {"modem status read: "},
        {"set serial port status fail", kTermios},
        {"get serial port status fail", kTermios},
        {"Error check control line\n"},
        {"serial port open file fail"},
        // Temperature (menu 5).
        {"interrupt happenes without trigger"},
        {"you may have temperature interrupt line stuck LOW"},
        {"Error write to high reg",
         "the limit writes go to the address the temperature reads just used, each retried by the driver; an SMBus "
         "read begins by writing the register pointer, so a sensor that refuses writes fails the reads first "
         "(`Current temperature -1 C`); only a bus that fails for the length of the retries at that moment "
         "reaches it: not modelled; fairly sure"},
        {"Expected LM77 interrupt didn't happen"},
        {"temperature interrupt line may stuck HIGH"},
        {"critical interrupt happenes without trigger"},
        {"critical interrupt line may stuck LOW"},
        {"Error write to critical high reg",
         "the T_CRIT write goes to the same address on the same bus as the T_HIGH and T_LOW writes before it, which "
         "pass; a fault failing only it has no cause on a real bus; fairly sure"},
        {"Expected LM77 critical interrupt didn't happen"},
        {"critical interrupt line may stuck HIGH"},
        {"Current temperature %d C\n", "", "Current temperature -1 C"},
        {"Current temperature is out of range, "},
        {"check your enviroment, or LM77 chip"},
        {"Error closing 2c device", kCloseNeverFails},
        // Ethernet (menu 9).
        {"can't read BMSR\n",
         "a PHY register read through the driver's private request fails only when eth0 is missing, and then every "
         "earlier step has failed first; fairly sure"},
        {"Link not established\n"},
        {"code send fail",
         "a send on a connected non-blocking socket fails only after the connection is reset, which needs a peer "
         "that resets it; the peer is the card's own socket; fairly sure"},
        {"listener: read failed"},
        {"Error: receive data not correct, \n"},
        {"expected : 0x%x, received: 0x%x\n"},
        {"fail reset phy\n"},
        {"Can't allocate memory\n", kTinyAllocation},
        {"can't allocate memory\n", kTinyAllocation},
        {"diag:Socket listenfd failed.\n", kSocketCall},
        {"Socket sendfd failed", kSocketCall},
        {"listenfd fcntl:", kSocketCall},
        {"sendfd fcntl:", kSocketCall},
        {"can't get ip address\n"},
        {"fail set arp\n"},
        {"bind failed"},
        {"listen failed", kSocketCall},
        {"accept fail:"},
        {"acceptfd fcntl:", kSocketCall},
        {"close sendfd:", kCloseNeverFails},
        {"close accetfd:", kCloseNeverFails},
        {"close listenfd", kCloseNeverFails},
        {"can't allocate memory for the iptables commands\n",
         "360 bytes after the run's two 1 MiB buffers: only a card of some 10 MiB refuses them (--ram 10), and "
         "then the run passes inside the kernel with this line its only sign (the loopback run's test); no KMB "
         "has so little; sure"},
        {"can't get mac address",
         "SIOCGIFHWADDR on eth0 fails only when eth0 is missing, and then the address read fails first; sure"},
        {"can't set arp"},
        {"SIOCGIFFLAGS fail set promiscuous mode",
         "SIOCGIFFLAGS on eth0 fails only when eth0 is missing, and then the address read fails first; sure"},
        {"SIOCSIFFLAGS fail set promiscuous mode",
         "the card's Ethernet driver takes every flag change from a privileged program; sure"},
        {"Fail SIOCGIFFLAGS", "the clean-up's read of eth0's flags; same reason as the set-up's"},
        {"Fail SIOCSIFFLAGS", "the clean-up's change of eth0's flags; same reason as the set-up's"},
        // Start-up and the card's information.
        {"Error getting rev#",
         "the boot loader's environment tool runs from the card's read-only image; its failure is a broken image, "
         "not a fault the diagnostic tests; fairly sure"},
        {"Error open env log file",
         "the environment tool's output file in /tmp, on the card's RAM file system; sure"},
        {"Error remove file", "the removal of that same file; sure"},
        {"This KMB is not in the test fixture, diagnostic won't run\n"},
        {"ERROR open IO expander, most tests can't run\n"},
        // The reset tests (menus 13 to 15).
        {"open error for %s errno = %d\n",
         "the backup firmware record on the card's flash file system, read by a part of the reset tests no fault "
         "reaches yet"},
        {"open error errno = %d\n"},
        {"mmap error errno = %d\n"},
        {"munmap error errno = %d\n", "munmap of a page that mmap just gave: Linux refuses only a bad address; sure"},
        {"The reset and CPLD reason doesn't match\n"},
        {"It was %s, but cpld shows 0x%x\n"},
        {"Error open file to write"},
        {"Error closing counter agent", kCloseNeverFails},
        // The bus drivers.
        {"Error write to counter agent"},
        {"Error read from counter agent"},
    };
    return rows;
}

const std::vector<Verdict>& diagnostic_verdicts()
{
    static const std::vector<Verdict> rows = {
        {"Agent IRQ test .........................", "Agent IRQ test .........................FAILED", {}},
        {"Agent IIRQ test ........................", "Agent IIRQ test ........................FAILED", {}},
        {"Agent i2c bus test .....................", "Agent i2c bus test .....................FAILED", {}},
        {"Counter agent i2c bus test .............",
         "Counter agent i2c bus test .............FAILED",
         {"** Make sure the KMB card is properly seated in the **\n",
          "** fixture, or you may have a bad I2C I/O port U5   **\n"}},
        {"Memory test ............................",
         "Memory test ............................FAILED",
         {"** Check Memory chip  **\n"}},
        {"Serial port test .......................",
         "Serial port test .......................FAILED",
         {"** Make sure the KMB card is properly seated in the ***\n",
          "** fixture, or you may have a bad CPU               ***\n"}},
        {"Temperature sensor test ................",
         "Temperature sensor test ................FAILED",
         {"** Check CPU and LM77 chip           **\n"}},
        {"test ........",
         "%s Ethernet loopback %s test ........FAILED",
         {"** Make sure the KMB card is properly seated in the **\n",
          "** fixture, and you have a loopback cable in the    **\n",
          "** connector.  Or you may have a bad CPU, Phy       **\n"}},
        {"Watchdog reset test................", "Watchdog reset test................FAIL", {}},
        {"Counter agent primary reset test................",
         "Counter agent primary reset test................FAIL",
         {}},
        {"Counter agent secondary reset test................",
         "Counter agent secondary reset test................FAIL",
         {}},
        {"Comprehensive KMB test..................", "Comprehensive KMB test..................FAILED", {}},
    };
    return rows;
}

const std::vector<NotAFailure>& not_failures()
{
    static const std::vector<NotAFailure> rows = {
        {"%s:  0x%x\n", "the PHY register dump's lines"},
        {"please type the register #(hex):  ", "the PHY register tool's prompt"},
        {"\nreg 0x%x = 0x%x\n", "the PHY register tool's answer"},
        {"next page: 0x%x\n", "the PHY register tool's answer"},
        {"do you want to write to it? ", "the PHY register tool's prompt"},
        {"Please enter the value(hex): 0x", "the PHY register tool's prompt"},
        {"\nWARNING: You are using a pre-production KMB board(revision %s).\n", "the card's information"},
        {"You may wish to upgrade this to a production board.\n", "the card's information"},
        {" cpld = %x\n", "every start-up shows the reset reason; the reset tests' verdicts judge it"},
        {"%sPASS\n", "the reset tests' passing verdict"},
        {"%sFAIL\n", "the reset tests' failing verdict; each has its row among the verdicts"},
        {"WARNING: This test will reset the system, if the system\n", "a reset test's question"},
        {"         doesn't reset within 5 seconds, check your watchdog\n", "a reset test's question"},
        {"DO you want to run the test (y/n) : ", "a reset test's question"},
        {"         doesn't reset within 5 seconds, check your counter agent\n", "a reset test's question"},
        {"OK to start test? (y/n) :  ", "a reset test's question"},
        {"Start reset KMB with primary image\n", "a reset test's progress"},
        {"Start reset KMB with secondary image\n", "a reset test's progress"},
        {"\nPerforming comprehensive test on KMB card\n", "the comprehensive test's heading"},
        {"This option is available only at the Factory.\n", "a sequence refused outside its mode"},
        {"This option is available only to Manufacturing.\n", "a sequence refused outside its mode"},
        {"Enter the loop count - ", "a sequence's prompt"},
        {"count = %d\n", "a sequence's progress"},
        {"--- Start pass %lld.  ", "a sequence's progress"},
        {"Current date = %s\n", "a sequence's progress"},
        {"  FFFFFFF       A        II    LL         EEEEEEE    DDDDDD\n", "the sequences' banner after a failure"},
        {"  FF           A A       II    LL         EE         DD   DD\n", "the sequences' banner after a failure"},
        {"  FFFF        A   A      II    LL         EEEE       DD    DD\n", "the sequences' banner after a failure"},
        {"  FF         AAAAAAA     II    LL         EE         DD    DD\n", "the sequences' banner after a failure"},
        {"  FF        AA     AA    II    LL         EE         DD   DD\n", "the sequences' banner after a failure"},
        {"  FF        AA     AA    II    LLLLLLL    EEEEEEE    DDDDDD\n", "the sequences' banner after a failure"},
        {"Error reading register 0x%02x, try %d\n", "the LM77 driver's debug line, to the system log"},
        {"Error writing 0x%04x to register 0x%02x\n", "the LM77 driver's debug line, to the system log"},
        {" <value(C)>\n", "the LM77 tool's usage line"},
    };
    return rows;
}

} // namespace kmb::test
