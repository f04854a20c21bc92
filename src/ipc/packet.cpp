#include "ipc/packet.h"

#include <cstdlib>

#include "ipc/msg_queue.h"

namespace kmb {

namespace {

uint8_t* block_of(void* payload) { return static_cast<uint8_t*>(payload) - IPC_PACKET_HEAD_SIZE; }

int send_packet(void* payload, int size, int dest, int key, int flags)
{
    const int id = ipc_queue_id(key, 0);
    if (id < 0) {
        return -1;
    }
    IpcPacketHead* p = ipc_msg_head(payload);
    p->dest = static_cast<uint8_t>(dest & 0xFF);
    p->head.mtype = 1;
    p->head.msg_class = MSG_CLASS_PACKET;
    p->head.word2 = 0;
    p->head.word3 = 0;
    p->head.length = size + IPC_PACKET_HEAD_AFTER_TYPE;
    return kmb_sendmsgq(id, &p->head, flags) == 0 ? size : -1;
}

} // namespace

void* ipc_msg_alloc(int size)
{
    if (size < 0 || size > IPC_MAX_PAYLOAD) {
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(std::calloc(1, static_cast<std::size_t>(size) + IPC_PACKET_HEAD_SIZE));
    return block != nullptr ? block + IPC_PACKET_HEAD_SIZE : nullptr;
}

int ipc_msg_free(void* payload)
{
    if (payload == nullptr) {
        return -1;
    }
    std::free(block_of(payload));
    return 0;
}

IpcPacketHead* ipc_msg_head(void* payload) { return reinterpret_cast<IpcPacketHead*>(block_of(payload)); }

int ipc_msg_send(void* payload, int size, int dest, int flags)
{
    if (payload == nullptr || size < 0) {
        return -1;
    }
    return send_packet(payload, size, dest, IPC_KEY_RELAY, flags);
}

int ipc_msg_send_direct(void* payload, int size, int dest, int flags)
{
    if (payload == nullptr) {
        return -1;
    }
    return send_packet(payload, size, dest, dest, flags);
}

int ipc_msg_recv(void* payload, int capacity, int key, int flags)
{
    if (payload == nullptr || capacity < 0) {
        return -1;
    }
    const int id = ipc_queue_id(key, 0);
    if (id < 0) {
        return -2;
    }
    IpcPacketHead* p = ipc_msg_head(payload);
    p->head.length = capacity + IPC_PACKET_HEAD_AFTER_TYPE;
    const int n = kmb_readmsgq(id, &p->head, 1, flags);
    // The class comes first: a failed receive into a buffer that holds no generic packet ends
    // here too.
    if (p->head.msg_class != MSG_CLASS_PACKET) {
        return -3;
    }
    if (n >= -4 && n < IPC_PACKET_HEAD_AFTER_TYPE) {
        return -4;
    }
    return n - IPC_PACKET_HEAD_AFTER_TYPE;
}

unsigned ipc_msg_sender(void* payload)
{
    return payload != nullptr ? ipc_msg_head(payload)->src : 0;
}

} // namespace kmb
