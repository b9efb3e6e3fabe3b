// The network thread: reads every socket, answers as host, delivers to local
// players, and hands replies to the waiting commands.
//
// As host it reads a connection's next message only while every connection that
// message goes to has room for it: a message that finds no room waits, parked, and
// its connection is not read again until the message has gone out. Senders are held
// back instead of messages being dropped; the only peers that lose anything are
// those cut off for reading nothing for kNetDeafLimitMs while data waited for them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/net/net_session.h"
#include "runtime/platform/platform_thread.h"

namespace corvane {

NetMessageEntry MakeMessageEntry(const unsigned char* bytes, const NetHeader& header, NLsocket source) {
    NetMessageEntry entry;
    entry.source = source;
    entry.header = header;
    std::size_t size = static_cast<std::size_t>(kNetHeaderSize + header.length);
    entry.bytes.reserve(size + 1);
    entry.bytes.assign(bytes, bytes + size);
    entry.bytes.push_back(0);
    return entry;
}

// ==== sending ====================================================================

bool WriteAll(NLsocket socket, const unsigned char* message) {
    int total = kNetHeaderSize + ReadInt32LE(message + 5);
    int done = 0;
    while (done < total) {
        NLint written = nlWrite(socket, message + done, total - done);
        if (written < 0) return false;
        done += written;
    }
    return true;
}

bool SendSimple(NLsocket socket, int type, std::int32_t target, std::int32_t origin, const void* payload, int length) {
    if (socket < 0) return false;
    unsigned char message[kNetMessageSize];
    if (BuildNetMessage(message, type, target, origin, payload, length) < 0) return false;
    return WriteAll(socket, message);
}

// ==== the thread =================================================================

namespace {

using Clock = std::chrono::steady_clock;
using Guard = std::lock_guard<std::mutex>;

constexpr int kClientReadsPerPass = 1024;
constexpr int kHostReadsPerConnection = 64;
constexpr int kAcceptsPerPass = 8;
constexpr int kPassWaitMs = 10;
constexpr int kCommandReadsMs = 2;             // a command read the connection this recently: it is looking
constexpr int kCheckEveryMs = 100;             // how often the time limits are looked at
constexpr int kSystemSendBuffer = 64 * 1024;   // per connection; the rest of a backlog waits in the layer

// An accepted connection, as the thread sees it.
struct Connection {
    NLsocket socket = -1;
    Clock::time_point acceptedAt;
    bool own = false;                           // this process's own loopback connection
    bool joined = false;                        // a player joined through it
    bool gone = false;                          // to be closed at the end of the pass
    std::optional<NetMessageEntry> parked;      // read, waiting for room where it goes
    bool readNow = false;                       // to be read in this pass
};

// Reads one packet. Returns the nlRead result (the packet length, or NL_INVALID with
// nlGetError set); *message holds it when it is a valid message.
NLint ReadOne(NLsocket socket, unsigned char* buffer, std::optional<NetMessageEntry>* message) {
    NLint got = nlRead(socket, buffer, kNetMessageSize);
    message->reset();
    if (got < 0) return got;
    NetHeader header;
    if (ParseNetMessage(buffer, got, &header)) *message = MakeMessageEntry(buffer, header, socket);
    return got;
}

bool IsDisconnect(NLenum error) {
    return error == NL_MESSAGE_END || error == NL_SOCK_DISCONNECT || error == NL_PACKET_SYNC ||
           error == NL_INVALID_SOCKET;
}

NetPlayer* FindPlayer(NetPlayerList& list, std::int32_t id) {
    for (auto& p : list)
        if (p->id == id) return p.get();
    return nullptr;
}

int RecordsOnSocket(const NetSession& s, NLsocket socket) {
    int count = 0;
    for (const auto& p : s.connections)
        if (p->socket == socket) ++count;
    return count;
}

bool HasRoom(NLsocket socket, long room) { return nlPendingBytes(socket) < room; }

// ---- the client side: what the host sends to this process -------------------------

// Copies a data message into a player's queue, unless it is full.
void Deliver(NetPlayer& player, const NetMessageEntry& message) {
    if (player.messages.size() >= static_cast<std::size_t>(kNetMaxQueuedMessages)) return;
    player.messages.push_back(message);
}

// One message from the host (lock held). Returns the id of a late join reply the
// host must be told to forget, or 0.
std::int32_t HandleAtClient(NetSession& s, NetMessageEntry& m) {
    const NetHeader& h = m.header;
    if (h.type == kNetData) {
        if (h.target == -1) {
            // One copy for each local player with an id, except the sender.
            for (auto& p : s.localPlayers)
                if (p->id > 0 && p->id != h.origin) Deliver(*p, m);
        } else if (h.target > 0) {
            if (NetPlayer* p = FindPlayer(s.localPlayers, h.target)) Deliver(*p, m);
        }
        return 0;
    }
    if (h.origin != 0) return 0;
    if (h.type > 99) {
        if (s.replies.size() < static_cast<std::size_t>(kNetMaxReplies)) s.replies.push_back(std::move(m));
        return 0;
    }
    if (h.type != kNetJoinReply || h.target <= 0) return 0;
    // Joins are answered in the order they went out: the oldest record still owed an
    // answer takes it, even one its creator gave up on.
    for (auto it = s.localPlayers.begin(); it != s.localPlayers.end(); ++it) {
        NetPlayer& p = **it;
        if (p.id == -3) {
            p.id = h.target;
            return 0;
        }
        if (p.id == -2 && p.joinSent && !p.quietDrop) {
            // Nobody waits for it any more: the host forgets the id again.
            s.localPlayers.erase(it);
            return h.target;
        }
    }
    return 0;
}

// New local players are announced, given-up ones dropped.
void AnnounceAndDrop(NetSession& s, NLsocket client) {
    std::unique_lock<std::mutex> lock(s.lock);
    // Only this thread removes records and the main thread only appends, so an
    // index stays good while the lock is released below.
    for (std::size_t i = 0; i < s.localPlayers.size();) {
        NetPlayer& p = *s.localPlayers[i];
        if (p.id == -2 && p.joinSent && !p.quietDrop) {
            // Its join went out: the host's reply is still owed to this record.
            ++i;
        } else if (p.id == -2) {
            bool tell = !p.quietDrop;
            s.localPlayers.erase(s.localPlayers.begin() + static_cast<long>(i));
            if (tell) {
                lock.unlock();
                SendSimple(client, kNetLeave, 0, -2, nullptr, 0);
                lock.lock();
            }
        } else if (p.id == -1) {
            unsigned char record[kNetJoinRecordSize];
            EncodeJoinRecord(record, p.hidden, p.name);
            lock.unlock();
            bool sent = SendSimple(client, kNetJoin, 0, 0, record, kNetJoinRecordSize);
            lock.lock();
            NetPlayer& again = *s.localPlayers[i];
            if (sent) again.joinSent = 1;
            if (again.id == -1) again.id = -3; // a give-up set meanwhile stands
            ++i;
        } else {
            ++i;
        }
    }
}

} // namespace

bool ReadAsClient(NetSession& s, NLsocket client) {
    // One reader at a time keeps the messages in their order. Neither waits for the
    // other: whoever holds the lock is reading already (the thread looks again on its
    // next pass, as the socket stays readable).
    std::unique_lock<std::mutex> reading(s.clientReadLock, std::try_to_lock);
    if (!reading) return false;
    unsigned char buffer[kNetMessageSize + 1];
    CORVANE_THREAD_SCRATCH(std::vector<NetMessageEntry>, batch);
    batch.clear();
    for (int i = 0; i < kClientReadsPerPass; ++i) {
        std::optional<NetMessageEntry> m;
        NLint got = ReadOne(client, buffer, &m);
        if (got < 0 || !m) break;
        batch.push_back(std::move(*m));
        if (!nlMoreToRead(client)) break;
    }
    if (batch.empty()) return false;
    std::vector<std::int32_t> forget;
    {
        Guard guard(s.lock);
        for (NetMessageEntry& m : batch)
            if (std::int32_t id = HandleAtClient(s, m)) forget.push_back(id);
    }
    batch.clear();
    for (std::int32_t id : forget) SendSimple(client, kNetLeave, 0, id, nullptr, 0);
    return true;
}

namespace {

// ---- the host side --------------------------------------------------------------

// Answers to requests go out ahead of forwarded data still held back for the peer;
// a join's answer keeps its place, as it decides which messages its player sees.
void Reply(NLsocket socket, int type, std::int32_t target, const void* payload, int length) {
    unsigned char message[kNetMessageSize];
    int size = BuildNetMessage(message, type, target, 0, payload, length);
    if (size < 0) return;
    if (type == kNetJoinReply) nlWrite(socket, message, size);
    else nlWriteFirst(socket, message, size);
}

// Where a data message goes: every connection once for -1, else the receiver's.
void Destinations(const NetSession& s, std::int32_t target, std::vector<NLsocket>* out) {
    out->clear();
    for (const auto& p : s.connections) {
        if (p->socket == -1 || (target != -1 && p->id != target)) continue;
        if (std::find(out->begin(), out->end(), p->socket) == out->end()) out->push_back(p->socket);
        if (target != -1) break;
    }
}

// One message from connection c. False when it must wait for room (nothing was done).
bool HandleAtHost(NetSession& s, Connection& c, const NetMessageEntry& m) {
    const NetHeader& h = m.header;
    if (h.type == kNetData) {
        // Only a player of the connection it came on may send under its id.
        NetPlayer* sender = FindPlayer(s.connections, h.origin);
        if (!sender || sender->socket != c.socket) return true;
        CORVANE_THREAD_SCRATCH(std::vector<NLsocket>, to);
        Destinations(s, h.target, &to);
        for (NLsocket socket : to)
            if (!HasRoom(socket, kNetForwardRoom)) return false;
        for (NLsocket socket : to) WriteAll(socket, m.Bytes());
        return true;
    }
    if (h.target != 0) return true;
    // A requester must be a player of the connection the request came on, or anybody
    // could have answers sent to somebody else.
    NetPlayer* requester = FindPlayer(s.connections, h.origin);
    bool answerable = requester && requester->socket == c.socket;
    switch (h.type) {
    case kNetJoin: {
        unsigned char hidden = 0;
        char name[kNetNameSize];
        if (!DecodeJoinRecord(m.Payload(), h.length, &hidden, name)) return true;
        if (RecordsOnSocket(s, c.socket) >= kNetMaxPlayersPerConnection) return true;
        if (s.nextId == 0x7FFFFFFF) return true; // ids never wrap
        if (!HasRoom(c.socket, kNetReplyRoom)) return false;
        auto record = std::make_unique<NetPlayer>();
        record->socket = c.socket;
        record->hidden = hidden;
        std::memcpy(record->name, name, sizeof name);
        record->id = s.nextId++;
        std::int32_t id = record->id;
        {
            Guard guard(s.lock);
            s.connections.push_back(std::move(record));
        }
        c.joined = true;
        Reply(c.socket, kNetJoinReply, id, nullptr, 0);
        return true;
    }
    case kNetLeave: {
        Guard guard(s.lock);
        std::erase_if(s.connections, [&](const auto& p) { return p->id == h.origin && p->socket == c.socket; });
        return true;
    }
    case kNetCountRequest:
    case kNetIndexRequest:
    case kNetNameRequest:
    case kNetPing:
        break;
    default:
        return true;
    }
    if (!answerable) return true;
    if (h.type != kNetCountRequest && h.type != kNetPing && h.length < 4) return true;
    if (!HasRoom(c.socket, kNetReplyRoom)) return false;
    unsigned char payload[kNetNameSize] = {};
    int length = 4;
    if (h.type == kNetCountRequest) {
        std::int32_t visible = 0;
        for (const auto& p : s.connections) visible += p->hidden ? 0 : 1;
        WriteInt32LE(payload, visible);
    } else if (h.type == kNetIndexRequest) {
        std::int32_t index = ReadInt32LE(m.Payload());
        std::int32_t id = 0, seen = 0;
        for (const auto& p : s.connections) {
            if (index < 0) break;
            if (p->hidden) continue;
            if (seen++ == index) {
                id = p->id;
                break;
            }
        }
        WriteInt32LE(payload, id);
    } else if (h.type == kNetNameRequest) {
        length = 0;
        if (NetPlayer* named = FindPlayer(s.connections, ReadInt32LE(m.Payload()))) {
            while (length < kNetNameSize - 1 && named->name[length]) ++length;
            std::memcpy(payload, named->name, static_cast<std::size_t>(length));
        }
    } else {
        WriteInt32LE(payload, 1);
    }
    Reply(c.socket, h.type, h.origin, payload, length);
    return true;
}

// Everything the host does in one pass for its connections.
class HostSide {
public:
    HostSide(NetSession& s, NLsocket listener, NLsocket client) : s_(s), listener_(listener) {
        // The host's own players arrive over its loopback connection: it is never
        // closed for being silent.
        NLaddress own;
        if (nlGetLocalAddr(client, &own)) ownPort_ = own.port;
    }

    ~HostSide() {
        for (Connection& c : connections_) nlClose(c.socket);
    }

    // False when accepting failed for good (the session is over).
    bool Accept() {
        for (int i = 0; i < kAcceptsPerPass; ++i) {
            NLsocket socket = nlAcceptConnection(listener_);
            if (socket == NL_INVALID) {
                NLenum error = nlGetError();
                return error != NL_SYSTEM_ERROR && error != NL_NOT_LISTEN;
            }
            if (static_cast<int>(connections_.size()) >= kNetMaxConnections) {
                nlClose(socket); // full: closed at once
                continue;
            }
            nlSetSendBuffer(socket, kSystemSendBuffer);
            Connection c;
            c.socket = socket;
            c.acceptedAt = Clock::now();
            NLaddress peer;
            c.own = ownPort_ != 0 && nlGetRemoteAddr(socket, &peer) && peer.port == ownPort_ && (peer.ip >> 24) == 127;
            connections_.push_back(std::move(c));
        }
        return true;
    }

    // Reads the connections the last wait found readable (all when ready is null).
    void Read(unsigned char* buffer, const std::vector<NLsocket>* ready) {
        // Messages that waited for room go first, in connection order; their
        // connections are read again at once.
        for (Connection& c : connections_) {
            c.readNow = !ready || std::find(ready->begin(), ready->end(), c.socket) != ready->end();
            if (c.parked && HandleAtHost(s_, c, *c.parked)) {
                c.parked.reset();
                c.readNow = true;
            }
        }
        for (Connection& c0 : connections_) {
            Connection* c = &c0;
            if (!c->readNow || c->parked || c->gone) continue;
            for (int i = 0; i < kHostReadsPerConnection; ++i) {
                std::optional<NetMessageEntry> m;
                if (ReadOne(c->socket, buffer, &m) >= 0) {
                    if (m && !HandleAtHost(s_, *c, *m)) {
                        c->parked = std::move(m);
                        break;
                    }
                    if (!nlMoreToRead(c->socket)) break;
                    continue;
                }
                NLenum error = nlGetError();
                if (IsDisconnect(error)) {
                    // Closed after this pass's answers: a peer that closed its side
                    // still gets the replies to what it sent before.
                    c->gone = true;
                    break;
                }
                if (error != NL_BUFFER_SIZE) break; // an oversized packet was skipped: read on
            }
        }
    }

    // Peers that never joined, and peers that stopped reading while data waits.
    void CheckTimes() {
        auto now = Clock::now();
        if (now < nextCheck_) return;
        nextCheck_ = now + std::chrono::milliseconds(kCheckEveryMs);
        for (Connection& c : connections_) {
            if (c.gone || c.own) continue;
            if (!c.joined && now - c.acceptedAt >= std::chrono::milliseconds(kNetJoinDeadlineMs)) {
                c.gone = true;
                continue;
            }
            NLint stalled = nlStalledMs(c.socket);
            if (stalled >= kNetDeafLimitMs) {
                char line[160];
                std::snprintf(line, sizeof line,
                              "Network: connection %d closed: it read nothing for %d s while %d bytes waited for it",
                              static_cast<int>(c.socket), static_cast<int>(stalled / 1000),
                              static_cast<int>(nlPendingBytes(c.socket)));
                AppendErrorLog(line);
                c.gone = true;
            }
        }
    }

    // Connections that ended take every player record they carried.
    void DropGoneRecords() {
        bool any = std::any_of(connections_.begin(), connections_.end(), [](const Connection& c) { return c.gone; });
        if (!any) return;
        Guard guard(s_.lock);
        std::erase_if(s_.connections, [&](const auto& p) {
            Connection* c = Find(p->socket);
            return c && c->gone;
        });
    }

    void CloseGone() {
        std::erase_if(connections_, [&](Connection& c) {
            if (!c.gone) return false;
            nlClose(c.socket);
            return true;
        });
    }

    // Sockets to wait on: parked connections are not read, only flushed.
    void Watch(std::vector<NLsocket>* read, std::vector<NLsocket>* writeOnly) const {
        read->push_back(listener_);
        for (const Connection& c : connections_) (c.parked ? writeOnly : read)->push_back(c.socket);
    }

private:
    Connection* Find(NLsocket socket) {
        for (Connection& c : connections_)
            if (c.socket == socket) return &c;
        return nullptr;
    }

    NetSession& s_;
    NLsocket listener_;
    NLushort ownPort_ = 0;
    std::vector<Connection> connections_;
    Clock::time_point nextCheck_{};
};

} // namespace

void* NetworkThread(void* argument) {
    NetSession& s = *static_cast<NetSession*>(argument);
    // The starter already set stopRequest 0 and threadRunning 1, so a stop issued
    // before this line runs is not lost.
    NLsocket client, listener;
    {
        Guard guard(s.lock);
        client = s.clientSocket;
        listener = s.listenSocket;
    }
    s.nextId = 101;
    std::optional<HostSide> host;
    if (listener != -1) host.emplace(s, listener, client);
    std::vector<NLsocket> watch, writeOnly, readyHost;
    std::vector<NLboolean> ready;
    std::vector<unsigned char> buffer(kNetMessageSize + 1);
    bool first = true;                          // the first pass looks at everything

    for (;;) {
        {
            Guard guard(s.lock);
            if (s.stopRequest) break;
        }
        // What this pass writes goes out together at its end: fewer system calls,
        // the same bytes in the same order.
        nlHoldWrites(NL_TRUE);
        AnnounceAndDrop(s, client);
        if (first || ready[0] || watch[0] == NL_INVALID) ReadAsClient(s, client);
        if (host) {
            if ((first || ready[1]) && !host->Accept()) {
                Guard guard(s.lock);
                s.stopRequest = 1;
                break;
            }
            readyHost.clear();
            for (std::size_t i = 2; i < watch.size(); ++i)
                if (ready[i]) readyHost.push_back(watch[i]);
            host->Read(buffer.data(), first ? nullptr : &readyHost);
            host->CheckTimes();
            host->DropGoneRecords();
        }
        // The pass's answers go out before the connections that ended are closed.
        nlHoldWrites(NL_FALSE);
        if (host) host->CloseGone();

        // Wait for the next thing to do, at most the pass interval.
        // While a command keeps looking for messages itself, the thread leaves the
        // connection to it rather than waking to race it, and looks in now and then.
        auto sinceCommand = Clock::now().time_since_epoch() - Clock::duration(s.commandReadAt.load());
        bool commandReads = sinceCommand < std::chrono::milliseconds(kCommandReadsMs);
        watch.assign(1, commandReads ? NL_INVALID : client);
        writeOnly.assign(1, client);
        if (host) host->Watch(&watch, &writeOnly);
        ready.assign(watch.size(), NL_FALSE);
        nlWaitSockets(watch.data(), static_cast<NLint>(watch.size()), commandReads ? kCommandReadsMs : kPassWaitMs,
                      writeOnly.data(), static_cast<NLint>(writeOnly.size()), ready.data());
        first = false;
    }

    nlHoldWrites(NL_FALSE);
    host.reset(); // the connections this thread accepted go with it
    Guard guard(s.lock);
    s.threadRunning = 0;
    s.stopRequest = 1;
    return nullptr;
}

} // namespace corvane
