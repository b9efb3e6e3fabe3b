// The session record shared by the commands (main thread) and the network thread.
// Every list, queue and flag is touched only under `lock`, which is never held across
// a socket write or a sleep. The host's `connections` are changed by the network
// thread alone (the commands clear them only once the thread has ended), so the
// thread reads them without the lock and takes it to change them.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "runtime/net/hawknl.h"
#include "runtime/net/net_message.h"

namespace corvane {

constexpr int kNetMaxConnections = 100;        // accepted connections, the host's own included
constexpr int kNetMaxPlayersPerConnection = 256;
constexpr int kNetMaxQueuedMessages = 10000;   // per player; newer ones are dropped
constexpr int kNetMaxReplies = 64;
constexpr int kNetReplyWaitMs = 5000;          // 250 looks, 20 ms apart
constexpr int kNetJoinDeadlineMs = 10000;      // a connection with no player by then is closed
constexpr int kNetDeafLimitMs = 10000;         // a peer that reads nothing this long while data waits is cut off
// A connection's packets are read only while the connections they go to hold back
// less than this (the peer's own replies have the room above it, up to the layer's limit).
constexpr long kNetForwardRoom = 128 * 1024;
constexpr long kNetReplyRoom = 192 * 1024;

// One message as it travelled: its 17 + length wire bytes and a 0 after them (a text
// payload reads as a NUL-terminated string), and the socket it was read from.
struct NetMessageEntry {
    NLsocket source = -1;
    NetHeader header;
    std::vector<unsigned char> bytes;
    const unsigned char* Bytes() const { return bytes.data(); }
    const unsigned char* Payload() const { return bytes.data() + kNetHeaderSize; }
};
using NetMessageQueue = std::deque<NetMessageEntry>;

// A player. The join record on the wire is written and read field by field
// (EncodeJoinRecord / DecodeJoinRecord), so nothing depends on this struct's layout.
struct NetPlayer {
    NLsocket socket = -1;                      // host side: the connection; -1 in localPlayers
    std::int32_t id = -1;                      // -1 new, -3 join sent, -2 given up, 101+ assigned
    unsigned char hidden = 0;                  // left out of counts and index lookups
    char name[kNetNameSize] = {};              // NUL-terminated, at most 126 bytes
    NetMessageQueue messages;                  // data delivered to this player, oldest first
    unsigned char joinSent = 0;                // the join went out: a reply is owed to this record
    unsigned char quietDrop = 0;               // drop without telling the host (it was told already)
};
// Records stay where they are while the list grows: a command keeps a pointer to the
// player it waits for. Only the network thread removes local players.
using NetPlayerList = std::vector<std::unique_ptr<NetPlayer>>;

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
    std::mutex lock;
    std::mutex clientReadLock;                 // held by whoever reads clientSocket, so messages keep their order
    std::atomic<std::int64_t> commandReadAt{0}; // steady-clock ticks of a command's last read of clientSocket
    NetMessageQueue replies;

    // Network thread only.
    std::int32_t nextId = 101;
};

// The process's session, made by InitNetwork; null before it and after ReleaseNetwork.
NetSession* ActiveNetSession();

// ---- operations shared by the commands, the thread and the program end
NetMessageEntry MakeMessageEntry(const unsigned char* bytes, const NetHeader& header, NLsocket source);
void InitNetworkLibrary(NetSession& session);
bool StopNetworkThread(NetSession& session, int limitMs); // false when the thread still runs after limitMs
bool StartNetworkThread(NetSession& session);
bool WriteAll(NLsocket socket, const unsigned char* message); // 17 + length bytes
bool SendSimple(NLsocket socket, int type, std::int32_t target, std::int32_t origin, const void* payload, int length);
std::optional<NetMessageEntry> AwaitReply(NetSession& session, int type, std::int32_t requester); // none after 5 s
void* NetworkThread(void* session);
// Reads and handles what the host sent, unless another thread is at it (the thread,
// or a command that looks for a message itself); true when something was read.
bool ReadAsClient(NetSession& session, NLsocket client);

} // namespace corvane
