// The session record shared by the commands (main thread) and the network thread.
// Lists and queues are doubly linked; every list, queue and flag is touched only
// under `lock`, which is never held across a socket write or a sleep. `incoming`
// and the fields after it belong to the network thread alone.
#pragma once

#include <cstdint>

#include "runtime/net/hawknl.h"
#include "runtime/net/net_message.h"

namespace corvane {

constexpr int kNetMaxConnections = 100;        // accepted connections, the host's own included
constexpr int kNetMaxPlayersPerConnection = 256;
constexpr int kNetMaxQueuedMessages = 10000;   // per player; newer ones are dropped
constexpr int kNetMaxReplies = 64;
constexpr int kNetReplyWaitMs = 5000;          // 250 looks, 20 ms apart

// One message and where it came from. Holds 17 + length bytes and a terminator.
struct NetMessageEntry {
    NetMessageEntry* previous = nullptr;
    NetMessageEntry* next = nullptr;
    NLsocket source = -1;                      // the socket it was read from
    NetHeader header;
    unsigned char* Bytes() { return reinterpret_cast<unsigned char*>(this + 1); }
    const unsigned char* Payload() { return Bytes() + kNetHeaderSize; }
};

struct NetMessageQueue {
    NetMessageEntry* first = nullptr;
    NetMessageEntry* last = nullptr;
    int count = 0;
};

struct NetPlayer {
    NetPlayer* previous = nullptr;
    NetPlayer* next = nullptr;
    NLsocket socket = -1;                      // host side: the connection; -1 in localPlayers
    std::int32_t id = -1;                      // -1 new, -3 join sent, -2 given up, 101+ assigned
    unsigned char hidden = 0;                  // left out of counts and index lookups
    char name[kNetNameSize] = {};              // NUL-terminated, at most 126 bytes
    unsigned char reserved = 0;
    unsigned char padding[3] = {};
    NetMessageQueue messages;                  // data delivered to this player, oldest first
    unsigned char joinSent = 0;                // the join went out: a reply is owed to this record
    unsigned char quietDrop = 0;               // drop without telling the host (it was told already)
};

struct NetPlayerList {
    NetPlayer* first = nullptr;
    NetPlayer* last = nullptr;
    int count = 0;
};

struct NetSession {
    unsigned char hosting = 0;
    unsigned char libraryReady = 0;
    NLsocket listenSocket = -1;
    NLsocket clientSocket = -1;
    NetPlayerList localPlayers;
    NetPlayerList connections;
    NLint networkType = 0;
    NLint connectionType = 0;
    unsigned char stopRequest = 1;
    unsigned char threadRunning = 0;
    HTmutex lock = nullptr;
    NetMessageQueue incoming;
    NetMessageQueue replies;

    // Network thread only.
    std::int32_t nextId = 101;
    NLint group = -1;
};

// ---- queues and lists (callers hold `lock` where the data is shared)
NetMessageEntry* NewMessageEntry(const unsigned char* bytes, const NetHeader& header, NLsocket source);
void FreeMessageEntry(NetMessageEntry* entry);
void QueueAppend(NetMessageQueue& queue, NetMessageEntry* entry);
void QueueUnlink(NetMessageQueue& queue, NetMessageEntry* entry);
void QueueClear(NetMessageQueue& queue);
void PlayerAppend(NetPlayerList& list, NetPlayer* player);
void PlayerUnlink(NetPlayerList& list, NetPlayer* player);
void PlayerFree(NetPlayer* player);            // frees the record and its messages
void PlayerListClear(NetPlayerList& list);

// ---- operations shared by the commands, the thread and the program end
void InitNetworkLibrary(NetSession& session);
bool StopNetworkThread(NetSession& session, int limitMs); // false when the thread still runs after limitMs
bool StartNetworkThread(NetSession& session);
bool WriteAll(NLsocket socket, const unsigned char* message); // 17 + length bytes
bool SendSimple(NLsocket socket, int type, std::int32_t target, std::int32_t origin, const void* payload, int length);
NetMessageEntry* AwaitReply(NetSession& session, int type, std::int32_t requester); // caller frees; null after 5 s
void* NetworkThread(void* session);

} // namespace corvane
