// The reliable-packet socket layer over the platform's non-blocking TCP sockets.
#include "runtime/net/hawknl.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "runtime/platform/platform_net.h"
#include "runtime/platform/platform_thread.h"

namespace corvane {

struct HTmutexRecord {
    std::mutex mutex;
};

namespace {

constexpr int kConnectTimeoutMs = 5000;
constexpr long kReceiveChunk = 64 * 1024;
constexpr int kMaxGroups = 64;

thread_local NLenum lastError = NL_NO_ERROR;
thread_local bool holdWrites = false;        // nlHoldWrites: this thread's packets wait for the flush
CORVANE_THREAD_SCRATCH(std::vector<NLsocket>, heldSockets);

void Fail(NLenum error) { lastError = error; }

struct Socket {
    // fd is only changed under both locks, so a close never races a read or write.
    int fd = -1;
    bool listening = false;
    // After an accept failed for want of descriptors or memory the connection still
    // waits in the backlog; the listener is not watched for a moment so that a
    // waiting thread does not spin on it.
    std::chrono::steady_clock::time_point acceptPauseUntil{};

    std::mutex readLock;           // the reassembly buffer and the end flags
    NlPacketStream in;             // received bytes not yet handed out
    bool peerEnded = false;        // the peer closed its side
    bool chunkFilled = false;      // the last receive filled the whole chunk: more may be waiting
    NLenum broken = NL_NO_ERROR;   // the connection is unusable (disconnect or lost framing)

    std::mutex writeLock;          // the held-back bytes; one packet at a time
    std::vector<unsigned char> out;
    std::size_t outStart = 0;
    std::size_t boundary = 0;      // a packet start in out (at or before the first one not yet begun)
    std::size_t firstEnd = 0;      // end of the packets written to go first
    bool writeBroken = false;
    std::chrono::steady_clock::time_point outMoved{}; // held-back bytes last went out (or began to wait)
};

struct Registry {
    std::mutex lock;
    std::unordered_map<NLsocket, std::shared_ptr<Socket>> sockets;
    NLsocket nextSocket = 1;
    std::vector<NLsocket> groups[kMaxGroups];
    bool groupUsed[kMaxGroups] = {};
    int wakeFd = -1;
    bool ready = false;
};

Registry& registry() {
    static Registry* instance = new Registry(); // lives to the very end: a detached thread may still call in
    return *instance;
}

std::shared_ptr<Socket> Find(NLsocket socket) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = r.sockets.find(socket);
    if (found == r.sockets.end()) return nullptr;
    return found->second;
}

NLsocket Register(int fd, bool listening) {
    auto record = std::make_shared<Socket>();
    record->fd = fd;
    record->listening = listening;
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (r.nextSocket == 0x7FFFFFFF) {
        platform::NetClose(fd);
        return NL_INVALID;
    }
    NLsocket id = r.nextSocket++;
    r.sockets[id] = std::move(record);
    return id;
}

// Moves `boundary` to the first packet start at or after outStart.
void AdvanceBoundary(Socket& s) {
    while (s.boundary < s.outStart && s.boundary + 4 <= s.out.size())
        s.boundary += 4 + ((static_cast<std::size_t>(s.out[s.boundary + 2]) << 8) | s.out[s.boundary + 3]);
}

void ResetOut(Socket& s) {
    // A small buffer is kept for the next packets; a large one goes back.
    if (s.out.capacity() > 64 * 1024) std::vector<unsigned char>().swap(s.out);
    else s.out.clear();
    s.outStart = s.boundary = s.firstEnd = 0;
}

// Sends held-back bytes; caller holds writeLock. False when the connection broke.
bool FlushLocked(Socket& s) {
    while (s.outStart < s.out.size()) {
        platform::NetFailure failure;
        long sent = platform::NetSend(s.fd, s.out.data() + s.outStart,
                                      static_cast<long>(s.out.size() - s.outStart), &failure);
        if (sent < 0) {
            if (failure == platform::NetFailure::WouldBlock) return true;
            s.writeBroken = true;
            ResetOut(s);
            return false;
        }
        if (sent > 0) s.outMoved = std::chrono::steady_clock::now();
        s.outStart += static_cast<std::size_t>(sent);
        if (s.outStart < s.out.size() && s.outStart >= 64 * 1024 && s.outStart * 2 >= s.out.size()) {
            // A peer that keeps up only just never empties the buffer: what went out goes.
            AdvanceBoundary(s);
            s.out.erase(s.out.begin(), s.out.begin() + static_cast<long>(s.outStart));
            s.boundary -= s.outStart;
            s.firstEnd = s.firstEnd > s.outStart ? s.firstEnd - s.outStart : 0;
            s.outStart = 0;
        }
    }
    ResetOut(s);
    return true;
}

std::size_t HeldBack(const Socket& s) { return s.out.size() - s.outStart; }

void MarkBroken(Socket& s, NLenum error) {
    s.broken = error;
    s.in.Clear();
}

} // namespace

// ==== library ====================================================================

NLboolean nlInit() {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (!r.ready) {
        r.wakeFd = platform::NetCreateWakeSignal();
        r.ready = true;
    }
    return NL_TRUE;
}

NLboolean nlSelectNetwork(NLenum network) {
    if (network != NL_IP) {
        Fail(NL_INVALID_ENUM);
        return NL_FALSE;
    }
    return NL_TRUE;
}

NLenum nlGetError() { return lastError; }

// ==== sockets ====================================================================

NLsocket nlOpen(NLushort port, NLenum type) {
    if (type != NL_RELIABLE_PACKETS) {
        Fail(NL_INVALID_TYPE);
        return NL_INVALID;
    }
    int fd = platform::NetOpenTcp(port);
    if (fd < 0) {
        Fail(NL_SYSTEM_ERROR);
        return NL_INVALID;
    }
    return Register(fd, false);
}

NLboolean nlListen(NLsocket socket) {
    auto s = Find(socket);
    if (!s) {
        Fail(NL_INVALID_SOCKET);
        return NL_FALSE;
    }
    std::scoped_lock guard(s->readLock, s->writeLock);
    if (!platform::NetListen(s->fd)) {
        Fail(NL_SYSTEM_ERROR);
        return NL_FALSE;
    }
    s->listening = true;
    return NL_TRUE;
}

NLsocket nlAcceptConnection(NLsocket socket) {
    auto s = Find(socket);
    if (!s) {
        Fail(NL_INVALID_SOCKET);
        return NL_INVALID;
    }
    int fd;
    platform::NetFailure failure = platform::NetFailure::None;
    {
        std::lock_guard<std::mutex> guard(s->readLock);
        if (!s->listening) {
            Fail(NL_NOT_LISTEN);
            return NL_INVALID;
        }
        fd = platform::NetAccept(s->fd, &failure);
        if (fd < 0 && failure == platform::NetFailure::Transient)
            s->acceptPauseUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(10);
    }
    if (fd < 0) {
        // One connection that failed on its way in is nobody's fault here.
        Fail(failure == platform::NetFailure::Fatal ? NL_SYSTEM_ERROR : NL_NO_PENDING);
        return NL_INVALID;
    }
    return Register(fd, false);
}

NLboolean nlConnect(NLsocket socket, const NLaddress* address) {
    if (!address) {
        Fail(NL_NULL_POINTER);
        return NL_FALSE;
    }
    auto s = Find(socket);
    if (!s) {
        Fail(NL_INVALID_SOCKET);
        return NL_FALSE;
    }
    if (!address->valid) {
        Fail(NL_BAD_ADDR);
        return NL_FALSE;
    }
    std::scoped_lock guard(s->readLock, s->writeLock);
    if (!platform::NetConnect(s->fd, address->ip, address->port, kConnectTimeoutMs)) {
        Fail(NL_CON_REFUSED);
        return NL_FALSE;
    }
    return NL_TRUE;
}

NLint nlRead(NLsocket socket, void* buffer, NLint nbytes) {
    auto s = Find(socket);
    if (!s) {
        Fail(NL_INVALID_SOCKET);
        return NL_INVALID;
    }
    if (!buffer && nbytes > 0) {
        Fail(NL_NULL_POINTER);
        return NL_INVALID;
    }
    std::lock_guard<std::mutex> guard(s->readLock);
    if (s->fd < 0 || s->listening) {
        Fail(NL_INVALID_SOCKET);
        return NL_INVALID;
    }
    CORVANE_THREAD_SCRATCH(std::vector<unsigned char>, chunk);
    for (;;) {
        if (s->broken != NL_NO_ERROR) {
            Fail(s->broken);
            return NL_INVALID;
        }
        NLenum error = NL_NO_ERROR;
        if (s->in.Ready()) {
            NLint got = s->in.Next(buffer, nbytes, &error);
            if (error == NL_PACKET_SYNC) {
                // Nothing after this point can be framed again: the connection is over.
                MarkBroken(*s, NL_PACKET_SYNC);
            }
            if (got == NL_INVALID) Fail(error);
            return got;
        }
        if (s->peerEnded) {
            Fail(NL_MESSAGE_END);
            return NL_INVALID;
        }
        if (chunk.size() != static_cast<std::size_t>(kReceiveChunk)) chunk.resize(kReceiveChunk);
        platform::NetFailure failure;
        long got = platform::NetReceive(s->fd, chunk.data(), kReceiveChunk, &failure);
        s->chunkFilled = got == kReceiveChunk;
        if (got > 0) {
            s->in.Append(chunk.data(), static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0) {
            s->peerEnded = true; // packets already here are still handed out first
            continue;
        }
        if (failure == platform::NetFailure::WouldBlock) {
            Fail(NL_NO_PENDING);
            return NL_INVALID;
        }
        MarkBroken(*s, NL_SOCK_DISCONNECT);
    }
}

namespace {

NLint WritePacket(NLsocket socket, const void* buffer, NLint nbytes, bool first) {
    auto s = Find(socket);
    if (!s) {
        Fail(NL_INVALID_SOCKET);
        return NL_INVALID;
    }
    if (nbytes < 0 || nbytes > kNlMaxPacket) {
        Fail(NL_PACKET_SIZE);
        return NL_INVALID;
    }
    if (!buffer && nbytes > 0) {
        Fail(NL_NULL_POINTER);
        return NL_INVALID;
    }
    bool heldBack = false;
    {
        std::lock_guard<std::mutex> guard(s->writeLock);
        if (s->fd < 0 || s->listening) {
            Fail(NL_INVALID_SOCKET);
            return NL_INVALID;
        }
        if (s->writeBroken || (!holdWrites && !FlushLocked(*s))) {
            Fail(NL_SOCK_DISCONNECT);
            return NL_INVALID;
        }
        if (HeldBack(*s) >= static_cast<std::size_t>(kNlOutgoingLimit)) {
            Fail(NL_BUFFER_SIZE);
            return NL_INVALID;
        }
        unsigned char header[4] = {'N', 'L', static_cast<unsigned char>(nbytes >> 8),
                                   static_cast<unsigned char>(nbytes & 0xFF)};
        const unsigned char* payload = static_cast<const unsigned char*>(buffer);
        std::size_t total = 4 + static_cast<std::size_t>(nbytes);
        std::size_t sent = 0;
        if (HeldBack(*s) == 0 && !holdWrites) {
            unsigned char frame[4 + 2100];
            const unsigned char* bytes;
            std::vector<unsigned char> large;
            if (total <= sizeof frame) {
                std::memcpy(frame, header, 4);
                if (nbytes) std::memcpy(frame + 4, payload, static_cast<std::size_t>(nbytes));
                bytes = frame;
            } else {
                large.assign(header, header + 4);
                large.insert(large.end(), payload, payload + nbytes);
                bytes = large.data();
            }
            platform::NetFailure failure;
            long got = platform::NetSend(s->fd, bytes, static_cast<long>(total), &failure);
            if (got < 0 && failure != platform::NetFailure::WouldBlock) {
                s->writeBroken = true;
                Fail(NL_SOCK_DISCONNECT);
                return NL_INVALID;
            }
            sent = got > 0 ? static_cast<std::size_t>(got) : 0;
        }
        // The rest of the packet waits for the peer; it is never cut short.
        std::size_t at = s->out.size();
        if (HeldBack(*s) == 0) {
            ResetOut(*s);
            at = 0;
            if (sent < total) s->outMoved = std::chrono::steady_clock::now();
            s->boundary = sent > 0 ? total - sent : 0; // a packet begun goes on first
        } else if (first) {
            // Before every held-back packet not yet begun, after those written first.
            AdvanceBoundary(*s);
            at = std::max(s->boundary, s->firstEnd);
        }
        if (sent < total) {
            auto where = s->out.begin() + static_cast<long>(at);
            if (sent < 4) where = s->out.insert(where, header + sent, header + 4) + static_cast<long>(4 - sent);
            std::size_t from = sent > 4 ? sent - 4 : 0;
            s->out.insert(where, payload + from, payload + nbytes);
            if (first) s->firstEnd = at + (total - sent);
        }
        heldBack = HeldBack(*s) > 0;
    }
    if (holdWrites) {
        if (std::find(heldSockets.begin(), heldSockets.end(), socket) == heldSockets.end()) heldSockets.push_back(socket);
    } else if (heldBack) {
        nlWake();
    }
    return nbytes;
}

} // namespace

NLint nlWrite(NLsocket socket, const void* buffer, NLint nbytes) { return WritePacket(socket, buffer, nbytes, false); }

NLint nlWriteFirst(NLsocket socket, const void* buffer, NLint nbytes) { return WritePacket(socket, buffer, nbytes, true); }

NLboolean nlClose(NLsocket socket) {
    std::shared_ptr<Socket> s;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> guard(r.lock);
        auto found = r.sockets.find(socket);
        if (found == r.sockets.end()) {
            Fail(NL_INVALID_SOCKET);
            return NL_FALSE;
        }
        s = found->second;
        r.sockets.erase(found);
        for (auto& group : r.groups) group.erase(std::remove(group.begin(), group.end(), socket), group.end());
    }
    std::scoped_lock guard(s->readLock, s->writeLock);
    platform::NetClose(s->fd);
    s->fd = -1;
    return NL_TRUE;
}

// ==== addresses ==================================================================

// Asks the system for one of a socket's two addresses (ours or the peer's).
static bool SocketAddress(NLsocket socket, bool (*query)(int, std::uint32_t*, std::uint16_t*),
                   std::uint32_t* ip, std::uint16_t* port) {
    auto s = Find(socket);
    if (!s) {
        Fail(NL_INVALID_SOCKET);
        return false;
    }
    bool ok;
    {
        std::lock_guard<std::mutex> guard(s->readLock);
        ok = query(s->fd, ip, port);
    }
    if (!ok) Fail(NL_SYSTEM_ERROR);
    return ok;
}

NLboolean nlGetLocalAddr(NLsocket socket, NLaddress* address) {
    if (!address) {
        Fail(NL_NULL_POINTER);
        return NL_FALSE;
    }
    std::uint32_t ip = 0;
    std::uint16_t port = 0;
    if (!SocketAddress(socket, platform::NetLocalAddress, &ip, &port)) return NL_FALSE;
    // Bound to every interface: this machine, reached the shortest way.
    if (ip == 0) ip = 0x7F000001;
    address->ip = ip;
    address->port = port;
    address->valid = NL_TRUE;
    return NL_TRUE;
}

NLboolean nlGetRemoteAddr(NLsocket socket, NLaddress* address) {
    if (!address) {
        Fail(NL_NULL_POINTER);
        return NL_FALSE;
    }
    std::uint32_t ip = 0;
    std::uint16_t port = 0;
    if (!SocketAddress(socket, platform::NetPeerAddress, &ip, &port)) return NL_FALSE;
    address->ip = ip;
    address->port = port;
    address->valid = NL_TRUE;
    return NL_TRUE;
}

NLboolean nlSetAddrPort(NLaddress* address, NLushort port) {
    if (!address) {
        Fail(NL_NULL_POINTER);
        return NL_FALSE;
    }
    address->port = port;
    return NL_TRUE;
}

NLboolean nlGetAddrFromName(const char* name, NLaddress* address) {
    if (!name || !address) {
        Fail(NL_NULL_POINTER);
        return NL_FALSE;
    }
    std::uint32_t ip = 0;
    if (!platform::NetResolveIPv4(name, &ip)) {
        address->valid = NL_FALSE;
        Fail(NL_BAD_ADDR);
        return NL_FALSE;
    }
    address->ip = ip;
    address->port = 0;
    address->valid = NL_TRUE;
    return NL_TRUE;
}

NLaddress* nlGetAllLocalAddr(NLint* count) {
    thread_local NLaddress addresses[64];
    std::uint32_t ips[64];
    int found = platform::NetInterfaceAddresses(ips, 64);
    for (int i = 0; i < found; ++i) {
        addresses[i].ip = ips[i];
        addresses[i].port = 0;
        addresses[i].valid = NL_TRUE;
    }
    if (count) *count = found;
    return addresses;
}

char* nlAddrToString(const NLaddress* address, char* string) {
    if (!address || !string) {
        Fail(NL_NULL_POINTER);
        return nullptr;
    }
    unsigned ip = address->ip;
    if (address->port)
        std::snprintf(string, 32, "%u.%u.%u.%u:%u", ip >> 24, (ip >> 16) & 255, (ip >> 8) & 255, ip & 255,
                      static_cast<unsigned>(address->port));
    else
        std::snprintf(string, 32, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 255, (ip >> 8) & 255, ip & 255);
    return string;
}

// ==== groups =====================================================================

NLint nlGroupCreate() {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (int i = 0; i < kMaxGroups; ++i) {
        if (!r.groupUsed[i]) {
            r.groupUsed[i] = true;
            r.groups[i].clear();
            return i;
        }
    }
    Fail(NL_INVALID_GROUP);
    return NL_INVALID;
}

NLboolean nlGroupDestroy(NLint group) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (group < 0 || group >= kMaxGroups || !r.groupUsed[group]) {
        Fail(NL_INVALID_GROUP);
        return NL_FALSE;
    }
    r.groupUsed[group] = false;
    std::vector<NLsocket>().swap(r.groups[group]);
    return NL_TRUE;
}

NLboolean nlGroupAddSocket(NLint group, NLsocket socket) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (group < 0 || group >= kMaxGroups || !r.groupUsed[group]) {
        Fail(NL_INVALID_GROUP);
        return NL_FALSE;
    }
    if (!r.sockets.count(socket)) {
        Fail(NL_INVALID_SOCKET);
        return NL_FALSE;
    }
    auto& members = r.groups[group];
    if (std::find(members.begin(), members.end(), socket) == members.end()) members.push_back(socket);
    return NL_TRUE;
}

NLboolean nlGroupDeleteSocket(NLint group, NLsocket socket) {
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    if (group < 0 || group >= kMaxGroups || !r.groupUsed[group]) {
        Fail(NL_INVALID_GROUP);
        return NL_FALSE;
    }
    auto& members = r.groups[group];
    members.erase(std::remove(members.begin(), members.end(), socket), members.end());
    return NL_TRUE;
}

NLint nlPollGroup(NLint group, NLenum name, NLsocket* sockets, NLint number, NLint timeout) {
    if (name != NL_READ_STATUS) {
        Fail(NL_INVALID_ENUM);
        return NL_INVALID;
    }
    if (!sockets || number <= 0) {
        Fail(NL_NULL_POINTER);
        return NL_INVALID;
    }
    std::vector<std::pair<NLsocket, std::shared_ptr<Socket>>> members;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> guard(r.lock);
        if (group < 0 || group >= kMaxGroups || !r.groupUsed[group]) {
            Fail(NL_INVALID_GROUP);
            return NL_INVALID;
        }
        for (NLsocket id : r.groups[group]) {
            auto found = r.sockets.find(id);
            if (found != r.sockets.end()) members.emplace_back(id, found->second);
        }
    }
    std::vector<platform::NetPollEntry> entries(members.size());
    std::vector<char> ready(members.size(), 0);
    bool anyReady = false;
    for (std::size_t i = 0; i < members.size(); ++i) {
        Socket& s = *members[i].second;
        std::lock_guard<std::mutex> guard(s.readLock);
        if (s.broken != NL_NO_ERROR || s.peerEnded || s.in.Ready()) {
            ready[i] = 1;
            anyReady = true;
        } else {
            entries[i].fd = s.fd;
            entries[i].wantRead = s.fd >= 0;
        }
    }
    if (!members.empty()) platform::NetPoll(entries.data(), static_cast<int>(entries.size()), anyReady ? 0 : timeout);
    NLint count = 0;
    for (std::size_t i = 0; i < members.size() && count < number; ++i) {
        if (ready[i] || entries[i].readable) sockets[count++] = members[i].first;
    }
    return count;
}

// ==== waiting and flushing =======================================================

NLint nlWaitSockets(const NLsocket* sockets, NLint count, NLint timeoutMs, const NLsocket* writeOnly,
                    NLint writeOnlyCount, NLboolean* ready) {
    Registry& r = registry();
    // Kept between calls: the thread that waits does so on every pass.
    CORVANE_THREAD_SCRATCH(std::vector<std::shared_ptr<Socket>>, members);
    CORVANE_THREAD_SCRATCH(std::vector<NLint>, slot);             // index in sockets, or -1 for writeOnly
    CORVANE_THREAD_SCRATCH(std::vector<platform::NetPollEntry>, entries);
    CORVANE_THREAD_SCRATCH(std::vector<char>, already);          // a packet or the end is known without polling
    members.clear();
    slot.clear();
    int wakeFd;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        wakeFd = r.wakeFd;
        for (NLint i = 0; i < count + writeOnlyCount; ++i) {
            auto found = r.sockets.find(i < count ? sockets[i] : writeOnly[i - count]);
            if (found == r.sockets.end()) continue;
            members.push_back(found->second);
            slot.push_back(i < count ? i : -1);
        }
    }
    if (ready)
        for (NLint i = 0; i < count; ++i) ready[i] = NL_FALSE;
    entries.assign(members.size() + 1, platform::NetPollEntry());
    already.assign(members.size(), 0);
    entries[0].fd = wakeFd;
    entries[0].wantRead = wakeFd >= 0;
    int timeout = timeoutMs;
    for (std::size_t i = 0; i < members.size(); ++i) {
        Socket& s = *members[i];
        platform::NetPollEntry& e = entries[i + 1];
        {
            std::lock_guard<std::mutex> guard(s.readLock);
            if (s.fd < 0) continue;
            e.fd = s.fd;
            bool reading = slot[i] >= 0;
            // A socket whose end was already seen has nothing more to say.
            e.wantRead = reading && s.broken == NL_NO_ERROR && !s.peerEnded &&
                         (!s.listening || std::chrono::steady_clock::now() >= s.acceptPauseUntil);
            if (reading && !s.listening && (s.in.Ready() || s.broken != NL_NO_ERROR || s.peerEnded)) {
                already[i] = 1;
                timeout = 0;
            }
        }
        std::lock_guard<std::mutex> guard(s.writeLock);
        e.wantWrite = !s.writeBroken && HeldBack(s) > 0;
    }
    int found = platform::NetPoll(entries.data(), static_cast<int>(entries.size()), timeout);
    if (entries[0].readable) platform::NetClearWakeSignal(wakeFd);
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (ready && slot[i] >= 0 && (already[i] || entries[i + 1].readable)) ready[slot[i]] = NL_TRUE;
        if (!entries[i + 1].writable) continue;
        std::lock_guard<std::mutex> guard(members[i]->writeLock);
        if (members[i]->fd >= 0) FlushLocked(*members[i]);
    }
    members.clear(); // no socket is kept alive by the cache
    return found;
}

void nlHoldWrites(NLboolean hold) {
    holdWrites = hold != NL_FALSE;
    if (holdWrites) return;
    bool left = false;
    for (NLsocket socket : heldSockets) {
        auto s = Find(socket);
        if (!s) continue;
        std::lock_guard<std::mutex> guard(s->writeLock);
        if (s->fd >= 0 && !s->writeBroken) FlushLocked(*s);
        left = left || HeldBack(*s) > 0;
    }
    heldSockets.clear();
    if (left) nlWake();
}

void nlWake() {
    Registry& r = registry();
    int fd;
    {
        std::lock_guard<std::mutex> guard(r.lock);
        fd = r.wakeFd;
    }
    platform::NetRaiseWakeSignal(fd);
}

NLboolean nlFlush(NLsocket socket, NLint timeoutMs) {
    auto s = Find(socket);
    if (!s) {
        Fail(NL_INVALID_SOCKET);
        return NL_FALSE;
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int fd;
        {
            std::lock_guard<std::mutex> guard(s->writeLock);
            if (s->fd < 0 || s->writeBroken) return NL_FALSE;
            FlushLocked(*s);
            if (HeldBack(*s) == 0) return NL_TRUE;
            fd = s->fd;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) return NL_FALSE;
        platform::NetPollEntry entry;
        entry.fd = fd;
        entry.wantWrite = true;
        platform::NetPoll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
    }
}

NLboolean nlSetSendBuffer(NLsocket socket, NLint bytes) {
    auto s = Find(socket);
    if (!s) {
        Fail(NL_INVALID_SOCKET);
        return NL_FALSE;
    }
    std::lock_guard<std::mutex> guard(s->writeLock);
    return platform::NetSetSendBuffer(s->fd, bytes) ? NL_TRUE : NL_FALSE;
}

NLboolean nlMoreToRead(NLsocket socket) {
    auto s = Find(socket);
    if (!s) return NL_FALSE;
    std::lock_guard<std::mutex> guard(s->readLock);
    return s->in.Ready() || s->chunkFilled || s->peerEnded || s->broken != NL_NO_ERROR;
}

NLint nlStalledMs(NLsocket socket) {
    auto s = Find(socket);
    if (!s) return 0;
    std::lock_guard<std::mutex> guard(s->writeLock);
    if (HeldBack(*s) == 0) return 0;
    auto waited = std::chrono::steady_clock::now() - s->outMoved;
    return static_cast<NLint>(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count());
}

NLint nlPendingBytes(NLsocket socket) {
    auto s = Find(socket);
    if (!s) return 0;
    std::lock_guard<std::mutex> guard(s->writeLock);
    return static_cast<NLint>(HeldBack(*s));
}

NlFrame nlFramePacket(const unsigned char* bytes, std::size_t have, std::size_t* length) {
    if ((have >= 1 && bytes[0] != 'N') || (have >= 2 && bytes[1] != 'L')) return NlFrame::Lost;
    if (have < 4) return NlFrame::NeedMore;
    std::size_t n = (static_cast<std::size_t>(bytes[2]) << 8) | bytes[3];
    if (n > static_cast<std::size_t>(kNlMaxPacket)) return NlFrame::Lost;
    if (length) *length = n;
    return have >= 4 + n ? NlFrame::Ready : NlFrame::NeedMore;
}

void NlPacketStream::Append(const unsigned char* data, std::size_t count) {
    if (start > 0) {
        bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(start));
        start = 0;
    }
    bytes.insert(bytes.end(), data, data + count);
}

bool NlPacketStream::Ready() const {
    std::size_t length = 0;
    return nlFramePacket(bytes.data() + start, bytes.size() - start, &length) != NlFrame::NeedMore;
}

NLint NlPacketStream::Next(void* buffer, NLint nbytes, NLenum* error) {
    std::size_t length = 0;
    NlFrame frame = nlFramePacket(bytes.data() + start, bytes.size() - start, &length);
    if (frame == NlFrame::NeedMore) {
        *error = NL_NO_PENDING;
        return NL_INVALID;
    }
    if (frame == NlFrame::Lost) {
        Clear();
        *error = NL_PACKET_SYNC;
        return NL_INVALID;
    }
    bool fits = buffer && nbytes >= 0 && length <= static_cast<std::size_t>(nbytes);
    if (fits && length) std::memcpy(buffer, bytes.data() + start + 4, length);
    start += 4 + length;
    if (start == bytes.size()) {
        bytes.clear();
        start = 0;
        if (bytes.capacity() > 4096) std::vector<unsigned char>().swap(bytes); // idle connections stay small
    }
    if (!fits) {
        *error = NL_BUFFER_SIZE; // skipped whole; the stream stays in step
        return NL_INVALID;
    }
    *error = NL_NO_ERROR;
    return static_cast<NLint>(length);
}

void NlPacketStream::Clear() {
    std::vector<unsigned char>().swap(bytes);
    start = 0;
}

// ==== threads and mutexes ========================================================

NLint htThreadCreate(HThreadFunc function, void* data, NLboolean joinable) {
    (void)joinable;
    if (!function) return NL_INVALID;
    try {
        std::thread(function, data).detach();
    } catch (...) {
        Fail(NL_SYSTEM_ERROR);
        return NL_INVALID;
    }
    return 0;
}

void htThreadSleep(NLint milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0));
}

NLint htMutexInit(HTmutex* mutex) {
    if (!mutex) return NL_INVALID;
    *mutex = new HTmutexRecord();
    return 0;
}

NLint htMutexLock(HTmutex* mutex) {
    if (!mutex || !*mutex) return NL_INVALID;
    (*mutex)->mutex.lock();
    return 0;
}

NLint htMutexUnlock(HTmutex* mutex) {
    if (!mutex || !*mutex) return NL_INVALID;
    (*mutex)->mutex.unlock();
    return 0;
}

NLint htMutexDestroy(HTmutex* mutex) {
    if (!mutex || !*mutex) return NL_INVALID;
    delete *mutex;
    *mutex = nullptr;
    return 0;
}

} // namespace corvane
