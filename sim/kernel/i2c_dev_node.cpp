#include "sim/kernel/i2c_dev_node.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace kmb::sim {

// The numbers the card's programs pass; the names below come from the kernel's headers.
static_assert(I2C_SLAVE == 0x0703 && I2C_SLAVE_FORCE == 0x0706 && I2C_SMBUS == 0x0720);

namespace {

// i2c-dev moves at most this much in one read() or write() and silently shortens the rest.
constexpr size_t kMaxTransfer = 8192;
constexpr unsigned long kMaxSevenBitAddress = 0x7f;

// A slave that does not acknowledge. The card's adapter reports it as a remote I/O error, as
// most adapters do; the bind has already told an empty address apart with ENXIO.
constexpr int kNack = EREMOTEIO;

} // namespace

uint16_t I2cDevNode::target() const
{
    // Unbound, i2c-dev's client still carries address 0, the general call, and sends there.
    return address_ < 0 ? 0 : static_cast<uint16_t>(address_);
}

int I2cDevNode::bind_slave(unsigned long address)
{
    if (address > kMaxSevenBitAddress) {
        return fail(EINVAL); // ten-bit addressing is never switched on
    }
    if (!bus_.answers(static_cast<uint16_t>(address))) {
        return fail(ENXIO); // the earlier binding stays, as in i2c-dev
    }
    address_ = static_cast<int>(address);
    return 0;
}

ssize_t I2cDevNode::read(void* buf, size_t count)
{
    count = std::min(count, kMaxTransfer);
    if (buf == nullptr && count > 0) {
        return fail(EFAULT);
    }
    if (!bus_.read(target(), static_cast<uint8_t*>(buf), count)) {
        return fail(kNack);
    }
    return static_cast<ssize_t>(count);
}

ssize_t I2cDevNode::write(const void* buf, size_t count)
{
    count = std::min(count, kMaxTransfer);
    if (buf == nullptr && count > 0) {
        return fail(EFAULT);
    }
    if (!bus_.write(target(), static_cast<const uint8_t*>(buf), count)) {
        return fail(kNack);
    }
    return static_cast<ssize_t>(count);
}

int I2cDevNode::smbus(unsigned long arg)
{
    const auto* request = reinterpret_cast<const i2c_smbus_ioctl_data*>(arg);
    if (request == nullptr) {
        return fail(EFAULT);
    }
    const uint32_t size = request->size;
    const uint8_t direction = request->read_write;
    // Block and process-call transfers: nothing on the card's bus speaks them.
    if (size != I2C_SMBUS_QUICK && size != I2C_SMBUS_BYTE && size != I2C_SMBUS_BYTE_DATA &&
        size != I2C_SMBUS_WORD_DATA) {
        return fail(EINVAL);
    }
    if (direction != I2C_SMBUS_READ && direction != I2C_SMBUS_WRITE) {
        return fail(EINVAL);
    }
    const bool reading = direction == I2C_SMBUS_READ;
    i2c_smbus_data* data = request->data;
    const bool uses_data = !(size == I2C_SMBUS_QUICK || (size == I2C_SMBUS_BYTE && !reading));
    if (uses_data && data == nullptr) {
        return fail(EINVAL);
    }

    // The adapter is a plain I2C master: the i2c core turns each SMBus transfer into
    // messages, the register-reading ones into a command write followed by a read.
    const uint16_t address = target();
    const uint8_t command = request->command;
    uint8_t in[2] = {};
    bool acked = false;
    switch (size) {
    case I2C_SMBUS_QUICK:
        acked = reading ? bus_.read(address, in, 0) : bus_.write(address, in, 0);
        break;
    case I2C_SMBUS_BYTE:
        if (reading) {
            acked = bus_.read(address, in, 1);
            if (acked) {
                data->byte = in[0];
            }
        } else {
            acked = bus_.write(address, &command, 1);
        }
        break;
    case I2C_SMBUS_BYTE_DATA:
        if (reading) {
            acked = bus_.write(address, &command, 1) && bus_.read(address, in, 1);
            if (acked) {
                data->byte = in[0];
            }
        } else {
            const uint8_t out[2] = {command, data->byte};
            acked = bus_.write(address, out, sizeof out);
        }
        break;
    default: // I2C_SMBUS_WORD_DATA: SMBus words travel low byte first
        if (reading) {
            acked = bus_.write(address, &command, 1) && bus_.read(address, in, 2);
            if (acked) {
                data->word = static_cast<uint16_t>(in[0] | (in[1] << 8));
            }
        } else {
            const uint8_t out[3] = {command, static_cast<uint8_t>(data->word & 0xff),
                                    static_cast<uint8_t>(data->word >> 8)};
            acked = bus_.write(address, out, sizeof out);
        }
        break;
    }
    if (trace_.enabled()) {
        note_smbus(address, size, reading, command, data, acked);
    }
    return acked ? 0 : fail(kNack);
}

// One line for the whole SMBus transfer, with its register: "smbus /dev/i2c/0 0x48 read word
// reg 0x00 = 0x1901", "smbus /dev/i2c/0 0x18 write byte-data reg 0x03 0xf0 = nack".
void I2cDevNode::note_smbus(uint16_t address, uint32_t size, bool reading, uint8_t command,
                            const i2c_smbus_data* data, bool acked)
{
    auto hex = [](unsigned value, int digits) {
        char text[8];
        std::snprintf(text, sizeof text, "0x%0*x", digits, value & 0xffffu);
        return std::string(text);
    };
    std::string line = "smbus " + path() + " " + hex(address, 2) + (reading ? " read " : " write ");
    switch (size) {
    case I2C_SMBUS_QUICK:
        line += "quick";
        break;
    case I2C_SMBUS_BYTE:
        line += reading ? "byte" : "byte " + hex(command, 2);
        break;
    case I2C_SMBUS_BYTE_DATA:
        line += "byte-data reg " + hex(command, 2) + (reading ? "" : " " + hex(data->byte, 2));
        break;
    default:
        line += "word reg " + hex(command, 2) + (reading ? "" : " " + hex(data->word, 4));
        break;
    }
    if (!acked) {
        line += " = nack";
    } else if (reading && size == I2C_SMBUS_WORD_DATA) {
        line += " = " + hex(data->word, 4);
    } else if (reading && size != I2C_SMBUS_QUICK) {
        line += " = " + hex(data->byte, 2);
    } else {
        line += " = ok";
    }
    trace_.note(std::move(line));
}

int I2cDevNode::ioctl(unsigned long request, unsigned long arg)
{
    if (trace_.enabled()) {
        // The argument of a bind is the address itself; of the others, a pointer.
        char line[64];
        const bool by_value = request == I2C_SLAVE || request == I2C_SLAVE_FORCE;
        std::snprintf(line, sizeof line, by_value ? "ioctl %s 0x%04lx 0x%02lx" : "ioctl %s 0x%04lx", path().c_str(),
                      request, arg);
        trace_.note(line);
    }
    switch (request) {
    case I2C_SLAVE:
    case I2C_SLAVE_FORCE:
        return bind_slave(arg);
    case I2C_SMBUS:
        return smbus(arg);
    default:
        return fail(ENOTTY);
    }
}

} // namespace kmb::sim
