// The error codes that every device library of the card returns, one space for all of them,
// with the texts that the daemons print and log.
#pragma once

namespace kmb {

enum ErrorCode : int {
    ERR_NONE = 0,
    ERR_INVALID_COMMAND = 1,
    ERR_INVALID_PARAMETER = 2,
    ERR_WRITE = 3,
    ERR_READ = 4,
    ERR_RESPONSE = 5,
    ERR_IPC = 6,
    ERR_INTERRUPT = 7,
    ERR_END_OF_DATA = 8,
    ERR_I2C = 9,
    ERR_DRIVER = 10,
    ERR_CANT_TEST = 11,
    ERR_CHECKSUM = 12,
};

// The text of a code; codes outside the table read as "Unknown error".
const char* error_text(int code);

} // namespace kmb
