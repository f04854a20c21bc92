// Generic packets between the card's daemons: a head in front of up to 1024 bytes of payload.
// A packet is always handled through its payload address; the head lies just before it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipc/msg_header.h"

namespace kmb {

inline constexpr int IPC_MAX_PAYLOAD = 1024;

struct IpcPacketHead {
    MsgHeader head;   // mtype 1, class 2, words 2 and 3 zero, length = payload size + 20
    uint8_t dest;     // daemon number of the final receiver
    uint8_t src;      // daemon number of the sender; filled in by the relay, never by us
    uint16_t reserved;
};

// The head's bytes up to the payload: 24 on the card, 28 on a 64-bit workstation (whose long
// mtype is 4 bytes wider). sizeof() would add the workstation's trailing padding.
inline constexpr std::size_t IPC_PACKET_HEAD_SIZE = offsetof(IpcPacketHead, reserved) + sizeof(uint16_t);
// What `length` adds to the payload size: the head after mtype.
inline constexpr int IPC_PACKET_HEAD_AFTER_TYPE = 20;

static_assert(IPC_PACKET_HEAD_SIZE - sizeof(long) == IPC_PACKET_HEAD_AFTER_TYPE);
static_assert(offsetof(IpcPacketHead, dest) - sizeof(long) == 16);
static_assert(offsetof(IpcPacketHead, src) - sizeof(long) == 17);
static_assert(sizeof(long) != 4 || (sizeof(IpcPacketHead) == 24 && IPC_PACKET_HEAD_SIZE == 24),
              "the card's packet head is 24 bytes");

// The payload address of a new zero-filled packet with room for `size` bytes (0 to 1024), or
// nullptr.
void* ipc_msg_alloc(int size);
// Frees a packet by its payload address; 0, or -1 for no packet.
int ipc_msg_free(void* payload);
// The head of a packet by its payload address.
IpcPacketHead* ipc_msg_head(void* payload);

// Sends `size` payload bytes to daemon `dest` through the relay queue; size, or -1.
int ipc_msg_send(void* payload, int size, int dest, int flags);
// The same, straight to the queue of daemon `dest`; the size is not checked.
int ipc_msg_send_direct(void* payload, int size, int dest, int flags);
// Receives one generic packet (mtype 1) from the queue of `key` into room for `capacity`
// payload bytes: the payload size, or -1 bad arguments, -2 no queue, -3 not a generic packet
// (it is taken off the queue all the same), -4 failed or short receive.
int ipc_msg_recv(void* payload, int capacity, int key, int flags);
// The sender's daemon number of a received packet; 0 for no packet.
unsigned ipc_msg_sender(void* payload);

} // namespace kmb
