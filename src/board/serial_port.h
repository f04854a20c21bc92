// The card's serial port against the fixture's loopback connector: the modem-control lines,
// then 512 bytes at each of five speeds, three times over.
#pragma once

namespace kmb {

inline constexpr const char* SERIAL_PORT_PATH = "/dev/tts/0";

// Menu 2 and the first test of the comprehensive pass: 0 passed, 1 failed.
int serial_port_test();

// The six set-and-read-back steps of the modem lines on an open port: 0 when every word read
// back was the one the connector must give, 1 otherwise. Leaves DTR and RTS set.
int serial_modem_line_test(int fd);

// "modem status read: " and the names of the lines of `word` that are set, in the order DTR,
// RTS, CTS, CAR, DSR; other bits are not shown.
void print_modem_status(int word);

} // namespace kmb
