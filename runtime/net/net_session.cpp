// The network commands (main thread) and the session's start and end.
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "runtime/engine/engine.h"
#include "runtime/net/net_internal.h"
#include "runtime/net/net_session.h"

namespace corvane {

namespace {

constexpr int kLookIntervalMs = 1;        // commands look for answers this often
constexpr int kEndWaitMs = 3000;          // the program end waits this long for the thread
constexpr int kEndFlushMs = 1000;         // and this long for its goodbyes to go out
constexpr int kSessionStopWaitMs = 10000; // a new session waits this long for the old thread

using Clock = std::chrono::steady_clock;
using Guard = std::lock_guard<std::mutex>;

NetSession* g_session = nullptr;          // the process's one session (main thread)

int ArgumentInt(const RtString& text) { return ToInt(TextValue(text.Buffer())); }

// A port argument: 27013 when 0 or less; -1 when it does not fit a port.
int PortArgument(const RtString& text) {
    int port = ArgumentInt(text);
    if (port <= 0) return kNetDefaultPort;
    if (port > 65535) return -1;
    return port;
}

RtString NumberText(std::int32_t value) { return RtString(static_cast<double>(value)); }

// Ends the earlier session: its thread has stopped, so its sockets, host records,
// answers and players go, and this process no longer hosts.
void CloseSession(NetSession& s) {
    if (s.listenSocket != -1) nlClose(s.listenSocket);
    if (s.clientSocket != -1) nlClose(s.clientSocket);
    Guard guard(s.lock);
    s.listenSocket = -1;
    s.clientSocket = -1;
    s.hosting = 0;
    s.connections.clear();
    s.localPlayers.clear();
    s.replies.clear();
}

NetPlayer* AppendLocalPlayer(NetSession& s, const char* name, unsigned char hidden) {
    auto record = std::make_unique<NetPlayer>();
    NetPlayer* player = record.get();
    player->hidden = hidden;
    std::size_t n = name ? std::strlen(name) : 0;
    if (n > kNetNameSize - 1) n = kNetNameSize - 1;
    std::memcpy(player->name, name, n);
    {
        Guard guard(s.lock);
        s.localPlayers.push_back(std::move(record));
    }
    nlWake();
    return player;
}

// Waits up to 5 s for the host to number a local player; -1 after that, when
// the record is given up (the thread drops it).
std::int32_t AwaitId(NetSession& s, NetPlayer* player) {
    auto until = Clock::now() + std::chrono::milliseconds(kNetReplyWaitMs);
    for (;;) {
        std::int32_t id;
        bool late = Clock::now() >= until;
        {
            Guard guard(s.lock);
            id = player->id;
            if (id < 0 && late) player->id = -2;
        }
        if (id >= 0) return id;
        if (late) return -1;
        htThreadSleep(kLookIntervalMs);
    }
}

bool ThreadRunning(NetSession& s) {
    Guard guard(s.lock);
    return s.threadRunning != 0;
}

// The common part of the requests to the host: the newest local player asks.
std::optional<NetMessageEntry> Request(int type, const void* payload, int length) {
    NetSession* s = g_session;
    if (!s) return std::nullopt;
    bool any;
    std::int32_t requester;
    NLsocket client;
    {
        Guard guard(s->lock);
        any = !s->localPlayers.empty();
        requester = any ? s->localPlayers.back()->id : 0;
        client = s->clientSocket;
        s->replies.clear();
    }
    if (!any || client == -1) return std::nullopt;
    if (!SendSimple(client, type, 0, requester, payload, length)) return std::nullopt;
    return AwaitReply(*s, type, requester);
}

} // namespace

// ==== operations shared with the thread and the program end ======================

void InitNetworkLibrary(NetSession& s) {
    if (s.libraryReady) return;
    s.libraryReady = 1;
    StopNetworkThread(s, kSessionStopWaitMs);
    s.listenSocket = s.clientSocket = -1;
    s.networkType = NL_IP;
    s.connectionType = NL_RELIABLE_PACKETS;
    if (nlInit()) nlSelectNetwork(NL_IP);
}

bool StopNetworkThread(NetSession& s, int limitMs) {
    {
        Guard guard(s.lock);
        s.stopRequest = 1;
    }
    nlWake();
    auto until = Clock::now() + std::chrono::milliseconds(limitMs);
    while (ThreadRunning(s)) {
        if (Clock::now() >= until) return false;
        htThreadSleep(kLookIntervalMs);
    }
    return true;
}

bool StartNetworkThread(NetSession& s) {
    // Set before the thread exists, so a stop right after the start is seen.
    {
        Guard guard(s.lock);
        s.stopRequest = 0;
        s.threadRunning = 1;
    }
    if (htThreadCreate(NetworkThread, &s, NL_FALSE) == NL_INVALID) {
        Guard guard(s.lock);
        s.stopRequest = 1;
        s.threadRunning = 0;
        return false;
    }
    return true;
}

std::optional<NetMessageEntry> AwaitReply(NetSession& s, int type, std::int32_t requester) {
    auto until = Clock::now() + std::chrono::milliseconds(kNetReplyWaitMs);
    for (;;) {
        {
            Guard guard(s.lock);
            while (!s.replies.empty()) {
                NetMessageEntry entry = std::move(s.replies.front());
                s.replies.pop_front();
                // Anything else is stale: the queue was emptied before the request.
                if (entry.header.type == type && entry.header.target == requester) return entry;
            }
        }
        if (Clock::now() >= until) return std::nullopt;
        htThreadSleep(kLookIntervalMs);
    }
}

// ==== engine start and end =======================================================

NetSession* ActiveNetSession() { return g_session; }

void InitNetwork() {
    if (!g_session) g_session = new NetSession();
}

void ReleaseNetwork() {
    NetSession* s = g_session;
    if (!s) return;
    if (!StopNetworkThread(*s, kEndWaitMs)) {
        // The thread may still touch the record: leave it to the process exit.
        g_session = nullptr;
        return;
    }
    NLsocket client = s->clientSocket;
    for (const auto& p : s->localPlayers) SendSimple(client, kNetLeave, 0, p->id, nullptr, 0);
    if (client != -1) nlFlush(client, kEndFlushMs);
    CloseSession(*s);
    delete s;
    g_session = nullptr;
}

// ==== sessions ===================================================================

double HostGame(const RtString& portText) {
    NetSession* s = g_session;
    if (!s) return 0.0;
    InitNetworkLibrary(*s);
    int port = PortArgument(portText);
    if (port < 0) return 0.0;
    if (!StopNetworkThread(*s, kSessionStopWaitMs)) return 0.0;
    CloseSession(*s);

    NLsocket listener = nlOpen(static_cast<NLushort>(port), s->connectionType);
    if (listener == NL_INVALID) return 0.0;
    if (!nlListen(listener)) {
        nlClose(listener);
        return 0.0;
    }
    NLsocket client = nlOpen(0, s->connectionType);
    if (client == NL_INVALID) {
        nlClose(listener);
        return 0.0;
    }
    // The host joins its own session over the loopback path.
    NLaddress address;
    if (!nlGetLocalAddr(client, &address) || !nlSetAddrPort(&address, static_cast<NLushort>(port)) ||
        !nlConnect(client, &address)) {
        nlClose(client);
        nlClose(listener);
        return 0.0;
    }
    {
        Guard guard(s->lock);
        s->listenSocket = listener;
        s->clientSocket = client;
    }
    if (!StartNetworkThread(*s)) {
        CloseSession(*s);
        return 0.0;
    }
    s->hosting = 1;
    return 1.0;
}

double JoinGame(const RtString& addressText, const RtString& portText) {
    NetSession* s = g_session;
    if (!s) return 0.0;
    InitNetworkLibrary(*s);
    int port = PortArgument(portText);
    if (port < 0) return 0.0;
    if (!StopNetworkThread(*s, kSessionStopWaitMs)) return 0.0;
    CloseSession(*s);

    NLsocket client = nlOpen(0, s->connectionType);
    if (client == NL_INVALID) return 0.0;
    NLaddress address;
    bool found = addressText.length > 0 ? nlGetAddrFromName(addressText.Buffer(), &address)
                                        : nlGetLocalAddr(client, &address);
    if (!found || !nlSetAddrPort(&address, static_cast<NLushort>(port)) || !nlConnect(client, &address)) {
        nlClose(client);
        return 0.0;
    }
    {
        Guard guard(s->lock);
        s->clientSocket = client;
        s->listenSocket = -1;
    }
    s->hosting = 0;
    if (!StartNetworkThread(*s)) {
        CloseSession(*s);
        return 0.0;
    }

    // A hidden probe player proves the host answers.
    NetPlayer* probe = AppendLocalPlayer(*s, "", 1);
    std::int32_t probeId = probe ? AwaitId(*s, probe) : -1;
    bool answered = false;
    if (probe) {
        std::int32_t requester = probeId >= 0 ? probeId : -2;
        {
            Guard guard(s->lock);
            s->replies.clear();
        }
        if (SendSimple(client, kNetPing, 0, requester, nullptr, 0)) {
            // Only a whole answer counts: the int32 a host sends back.
            auto reply = AwaitReply(*s, kNetPing, requester);
            answered = reply && reply->header.length == 4;
        }
    }
    SendSimple(client, kNetLeave, 0, probeId, nullptr, 0);
    if (probe && probeId >= 0) {
        // The host was told; the thread drops the record without a second word.
        {
            Guard guard(s->lock);
            probe->quietDrop = 1;
            probe->id = -2;
        }
        nlWake();
    }
    if (answered) return 1.0;
    StopNetworkThread(*s, kSessionStopWaitMs);
    if (!ThreadRunning(*s)) CloseSession(*s);
    return 0.0;
}

RtString GetLocalAddresses() {
    NetSession* s = g_session;
    if (s) InitNetworkLibrary(*s);
    else nlInit();
    NLint count = 0;
    NLaddress* all = nlGetAllLocalAddr(&count);
    // The loopback address only stands in when the machine has no other.
    bool other = false;
    for (NLint i = 0; i < count; ++i) other = other || (all[i].ip >> 24) != 127;
    RtString text("");
    bool first = true;
    for (NLint i = 0; i < count; ++i) {
        if (other && (all[i].ip >> 24) == 127) continue;
        char address[32];
        nlAddrToString(&all[i], address);
        if (!first) text += "|";
        text += address;
        first = false;
        if (text.length + 32 > 4096) break;
    }
    return text;
}

// ==== players ====================================================================

RtString CreatePlayer(const RtString& name) {
    NetSession* s = g_session;
    // Without a running session nobody could ever number the player.
    if (!s || !ThreadRunning(*s)) return RtString("-1");
    NetPlayer* player = AppendLocalPlayer(*s, name.Buffer(), 0);
    if (!player) return RtString("-1");
    std::int32_t id = AwaitId(*s, player);
    if (id < 0) return RtString("-1");
    return NumberText(id);
}

double RemovePlayer(const RtString& id) {
    NetSession* s = g_session;
    if (!s || s->clientSocket == -1) return 0.0;
    return SendSimple(s->clientSocket, kNetLeave, 0, ArgumentInt(id), nullptr, 0) ? 1.0 : 0.0;
}

double GetPlayerCount() {
    auto reply = Request(kNetCountRequest, nullptr, 0);
    return reply && reply->header.length >= 4 ? ReadInt32LE(reply->Payload()) : 0.0;
}

RtString GetPlayerId(double index) {
    unsigned char payload[4];
    WriteInt32LE(payload, ToInt(index));
    auto reply = Request(kNetIndexRequest, payload, 4);
    return reply && reply->header.length >= 4 ? NumberText(ReadInt32LE(reply->Payload())) : RtString("0");
}

RtString GetPlayerName(const RtString& id) {
    unsigned char payload[4];
    WriteInt32LE(payload, ArgumentInt(id));
    auto reply = Request(kNetNameRequest, payload, 4);
    RtString result("NO_DATA");
    if (reply) result.Assign(reinterpret_cast<const char*>(reply->Payload()), static_cast<std::uint32_t>(reply->header.length));
    return result;
}

// ==== messages ===================================================================

double SendNetMessage(const RtString& from, const RtString& to, const RtString& text) {
    NetSession* s = g_session;
    if (!s || s->clientSocket == -1 || text.length > static_cast<std::uint32_t>(kNetMaxPayload)) return 0.0;
    std::int32_t receiver = ArgumentInt(to);
    if (receiver == 0) receiver = -1;
    return SendSimple(s->clientSocket, kNetData, receiver, ArgumentInt(from), text.Buffer(),
                      static_cast<int>(text.length))
               ? 1.0
               : 0.0;
}

RtString GetNetMessage(const RtString& idText) {
    NetSession* s = g_session;
    if (!s) return RtString("");
    std::int32_t id = ArgumentInt(idText);
    std::optional<NetMessageEntry> message;
    // With nothing queued the command reads the connection itself: a message that is
    // there already needs no hand-over from the thread.
    for (int look = 0; look < 2 && !message; ++look) {
        bool known = false;
        NLsocket client;
        {
            Guard guard(s->lock);
            for (auto& p : s->localPlayers) {
                if (p->id != id) continue;
                known = true;
                if (!p->messages.empty()) {
                    message = std::move(p->messages.front());
                    p->messages.pop_front();
                }
                break;
            }
            client = s->threadRunning ? s->clientSocket : -1;
        }
        if (message || !known || client == -1 || look > 0) break;
        s->commandReadAt.store(Clock::now().time_since_epoch().count());
        if (!ReadAsClient(*s, client)) break;
    }
    RtString result("");
    if (message) result.Assign(reinterpret_cast<const char*>(message->Payload()), static_cast<std::uint32_t>(message->header.length));
    return result;
}

} // namespace corvane
