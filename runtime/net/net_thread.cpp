// The network thread: reads every socket, answers as host, delivers to local
// players, and hands replies to the waiting commands. Also the queue and list
// helpers both threads use.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "runtime/net/net_session.h"

namespace corvane {

// ==== queues and lists ===========================================================

NetMessageEntry* NewMessageEntry(const unsigned char* bytes, const NetHeader& header, NLsocket source) {
    std::size_t size = static_cast<std::size_t>(kNetHeaderSize + header.length);
    void* memory = std::malloc(sizeof(NetMessageEntry) + size + 1);
    if (!memory) return nullptr;
    NetMessageEntry* entry = new (memory) NetMessageEntry();
    entry->source = source;
    entry->header = header;
    std::memcpy(entry->Bytes(), bytes, size);
    entry->Bytes()[size] = 0; // a text payload reads as a NUL-terminated string
    return entry;
}

void FreeMessageEntry(NetMessageEntry* entry) {
    if (!entry) return;
    entry->~NetMessageEntry();
    std::free(entry);
}

void QueueAppend(NetMessageQueue& queue, NetMessageEntry* entry) {
    entry->next = nullptr;
    entry->previous = queue.last;
    if (queue.last) queue.last->next = entry;
    else queue.first = entry;
    queue.last = entry;
    ++queue.count;
}

void QueueUnlink(NetMessageQueue& queue, NetMessageEntry* entry) {
    if (entry->previous) entry->previous->next = entry->next;
    else queue.first = entry->next;
    if (entry->next) entry->next->previous = entry->previous;
    else queue.last = entry->previous;
    entry->previous = entry->next = nullptr;
    --queue.count;
}

void QueueClear(NetMessageQueue& queue) {
    NetMessageEntry* entry = queue.first;
    while (entry) {
        NetMessageEntry* next = entry->next;
        FreeMessageEntry(entry);
        entry = next;
    }
    queue = NetMessageQueue();
}

void PlayerAppend(NetPlayerList& list, NetPlayer* player) {
    player->next = nullptr;
    player->previous = list.last;
    if (list.last) list.last->next = player;
    else list.first = player;
    list.last = player;
    ++list.count;
}

void PlayerUnlink(NetPlayerList& list, NetPlayer* player) {
    if (player->previous) player->previous->next = player->next;
    else list.first = player->next;
    if (player->next) player->next->previous = player->previous;
    else list.last = player->previous;
    player->previous = player->next = nullptr;
    --list.count;
}

void PlayerFree(NetPlayer* player) {
    if (!player) return;
    QueueClear(player->messages);
    delete player;
}

void PlayerListClear(NetPlayerList& list) {
    NetPlayer* player = list.first;
    while (player) {
        NetPlayer* next = player->next;
        PlayerFree(player);
        player = next;
    }
    list = NetPlayerList();
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

constexpr int kClientReadsPerPass = 1024;
constexpr int kHostReadsPerConnection = 64;
constexpr int kAcceptsPerPass = 8;
constexpr int kPassWaitMs = 10;

void Lock(NetSession& s) { htMutexLock(&s.lock); }
void Unlock(NetSession& s) { htMutexUnlock(&s.lock); }

// Reads one packet; appends it to incoming when it is a valid message. Returns the
// nlRead result (the packet length, or NL_INVALID with nlGetError set).
NLint ReadOne(NetSession& s, NLsocket socket, unsigned char* buffer, bool* valid) {
    NLint got = nlRead(socket, buffer, kNetMessageSize);
    *valid = false;
    if (got < 0) return got;
    NetHeader header;
    if (!ParseNetMessage(buffer, got, &header)) return got;
    NetMessageEntry* entry = NewMessageEntry(buffer, header, socket);
    if (!entry) return got;
    *valid = true;
    QueueAppend(s.incoming, entry); // incoming is the thread's own
    return got;
}

bool IsDisconnect(NLenum error) {
    return error == NL_MESSAGE_END || error == NL_SOCK_DISCONNECT || error == NL_PACKET_SYNC ||
           error == NL_INVALID_SOCKET;
}

// Copies a message into a player's queue, unless it is full.
void Deliver(NetPlayer& player, NetMessageEntry* message) {
    if (player.messages.count >= kNetMaxQueuedMessages) return;
    NetMessageEntry* copy = NewMessageEntry(message->Bytes(), message->header, message->source);
    if (copy) QueueAppend(player.messages, copy);
}

NetPlayer* FindConnection(NetSession& s, std::int32_t id) {
    for (NetPlayer* p = s.connections.first; p; p = p->next)
        if (p->id == id) return p;
    return nullptr;
}

int RecordsOnSocket(NetSession& s, NLsocket socket) {
    int count = 0;
    for (NetPlayer* p = s.connections.first; p; p = p->next)
        if (p->socket == socket) ++count;
    return count;
}

void RemoveRecordsOnSocket(NetSession& s, NLsocket socket) {
    NetPlayer* p = s.connections.first;
    while (p) {
        NetPlayer* next = p->next;
        if (p->socket == socket) {
            PlayerUnlink(s.connections, p);
            PlayerFree(p);
        }
        p = next;
    }
}

// Writes with the lock released, as writes never happen under it.
bool SendUnlocked(NetSession& s, NLsocket socket, const unsigned char* message) {
    Unlock(s);
    bool ok = WriteAll(socket, message);
    Lock(s);
    return ok;
}

bool ReplyUnlocked(NetSession& s, NLsocket socket, int type, std::int32_t target, const void* payload, int length) {
    unsigned char message[kNetMessageSize];
    if (BuildNetMessage(message, type, target, 0, payload, length) < 0) return false;
    return SendUnlocked(s, socket, message);
}

// Step 2: new local players are announced, given-up ones dropped.
void AnnounceAndDrop(NetSession& s, NLsocket client) {
    Lock(s);
    NetPlayer* p = s.localPlayers.first;
    while (p) {
        // Only this thread unlinks, and the main thread only appends at the end,
        // so the next link stays good while the lock is released below.
        NetPlayer* next = p->next;
        if (p->id == -2 && p->joinSent && !p->quietDrop) {
            // Its join went out: the host's reply is still owed to this record.
        } else if (p->id == -2) {
            bool tell = !p->quietDrop;
            PlayerUnlink(s.localPlayers, p);
            PlayerFree(p);
            if (tell) {
                Unlock(s);
                SendSimple(client, kNetLeave, 0, -2, nullptr, 0);
                Lock(s);
            }
        } else if (p->id == -1) {
            unsigned char record[kNetJoinRecordSize];
            EncodeJoinRecord(record, p->hidden, p->name);
            Unlock(s);
            bool sent = SendSimple(client, kNetJoin, 0, 0, record, kNetJoinRecordSize);
            Lock(s);
            if (sent) p->joinSent = 1;
            if (p->id == -1) p->id = -3; // a give-up set meanwhile stands
        }
        p = next;
    }
    Unlock(s);
}

// Step 5 (lock held): data for local players.
void DeliverLocally(NetSession& s, NLsocket client) {
    NetMessageEntry* m = s.incoming.first;
    while (m) {
        NetMessageEntry* next = m->next;
        if (m->header.type == kNetData) {
            if (m->header.target == -1 && m->source == client) {
                // One copy for each local player with an id, except the sender.
                for (NetPlayer* p = s.localPlayers.first; p; p = p->next)
                    if (p->id > 0 && p->id != m->header.origin) Deliver(*p, m);
                QueueUnlink(s.incoming, m);
                FreeMessageEntry(m);
            } else if (m->header.target > 0) {
                for (NetPlayer* p = s.localPlayers.first; p; p = p->next) {
                    if (p->id == m->header.target) {
                        Deliver(*p, m);
                        QueueUnlink(s.incoming, m);
                        FreeMessageEntry(m);
                        break;
                    }
                }
            }
        }
        m = next;
    }
}

// Step 6 (lock held, released around writes): the host's work.
void DispatchAsHost(NetSession& s, NLsocket client) {
    NetMessageEntry* m = s.incoming.first;
    while (m) {
        NetMessageEntry* next = m->next;
        if (m->source == client) {
            m = next;
            continue;
        }
        const NetHeader& h = m->header;
        bool handled = false;
        if (h.type == kNetData) {
            handled = true;
            if (h.target == -1) {
                // Once per connection, however many players it carries.
                std::vector<NLsocket> sockets;
                for (NetPlayer* p = s.connections.first; p; p = p->next) {
                    if (p->socket == -1) continue;
                    bool seen = false;
                    for (NLsocket known : sockets) seen = seen || known == p->socket;
                    if (!seen) sockets.push_back(p->socket);
                }
                for (NLsocket socket : sockets) SendUnlocked(s, socket, m->Bytes());
            } else if (NetPlayer* receiver = FindConnection(s, h.target)) {
                SendUnlocked(s, receiver->socket, m->Bytes());
            }
        } else if (h.target == 0) {
            // A requester must be a player of the connection the request came on,
            // or anybody could have answers sent to somebody else.
            NetPlayer* requester = FindConnection(s, h.origin);
            NLsocket replyTo = requester && requester->socket == m->source ? m->source : -1;
            switch (h.type) {
            case kNetJoin: {
                handled = true;
                unsigned char hidden = 0;
                char name[kNetNameSize];
                if (!DecodeJoinRecord(m->Payload(), h.length, &hidden, name)) break;
                if (RecordsOnSocket(s, m->source) >= kNetMaxPlayersPerConnection) break;
                if (s.nextId == 0x7FFFFFFF) break; // ids never wrap
                NetPlayer* record = new (std::nothrow) NetPlayer();
                if (!record) break;
                record->socket = m->source;
                record->hidden = hidden;
                std::memcpy(record->name, name, sizeof name);
                record->id = s.nextId++;
                PlayerAppend(s.connections, record);
                ReplyUnlocked(s, m->source, kNetJoinReply, record->id, nullptr, 0);
                break;
            }
            case kNetLeave: {
                handled = true;
                NetPlayer* p = s.connections.first;
                while (p) {
                    NetPlayer* after = p->next;
                    if (p->id == h.origin && p->socket == m->source) {
                        PlayerUnlink(s.connections, p);
                        PlayerFree(p);
                    }
                    p = after;
                }
                break;
            }
            case kNetCountRequest: {
                handled = true;
                if (replyTo < 0) break;
                std::int32_t visible = 0;
                for (NetPlayer* p = s.connections.first; p; p = p->next)
                    if (!p->hidden) ++visible;
                unsigned char payload[4];
                WriteInt32LE(payload, visible);
                ReplyUnlocked(s, replyTo, h.type, h.origin, payload, 4);
                break;
            }
            case kNetIndexRequest: {
                handled = true;
                if (replyTo < 0 || h.length < 4) break;
                std::int32_t index = ReadInt32LE(m->Payload());
                std::int32_t id = 0;
                if (index >= 0) {
                    std::int32_t seen = 0;
                    for (NetPlayer* p = s.connections.first; p; p = p->next) {
                        if (p->hidden) continue;
                        if (seen++ == index) {
                            id = p->id;
                            break;
                        }
                    }
                }
                unsigned char payload[4];
                WriteInt32LE(payload, id);
                ReplyUnlocked(s, replyTo, h.type, h.origin, payload, 4);
                break;
            }
            case kNetNameRequest: {
                handled = true;
                if (replyTo < 0 || h.length < 4) break;
                NetPlayer* named = FindConnection(s, ReadInt32LE(m->Payload()));
                char name[kNetNameSize] = {};
                int length = 0;
                if (named) {
                    while (length < kNetNameSize - 1 && named->name[length]) ++length;
                    std::memcpy(name, named->name, static_cast<std::size_t>(length));
                }
                ReplyUnlocked(s, replyTo, h.type, h.origin, name, length);
                break;
            }
            case kNetPing: {
                handled = true;
                if (replyTo < 0) break;
                unsigned char payload[4];
                WriteInt32LE(payload, 1);
                ReplyUnlocked(s, replyTo, h.type, h.origin, payload, 4);
                break;
            }
            default:
                break;
            }
        }
        if (handled) {
            QueueUnlink(s.incoming, m);
            FreeMessageEntry(m);
        }
        m = next;
    }
}

// Step 7 (lock held, released around writes): answers from the host.
void DispatchAsClient(NetSession& s, NLsocket client) {
    NetMessageEntry* m = s.incoming.first;
    while (m) {
        NetMessageEntry* next = m->next;
        const NetHeader& h = m->header;
        if (m->source != client || h.origin != 0) {
            m = next;
            continue;
        }
        if (h.type > 99) {
            QueueUnlink(s.incoming, m);
            if (s.replies.count < kNetMaxReplies) QueueAppend(s.replies, m);
            else FreeMessageEntry(m);
        } else if (h.type == kNetJoinReply) {
            if (h.target > 0) {
                // Joins are answered in the order they went out: the oldest record
                // still owed an answer takes it, even one its creator gave up on.
                for (NetPlayer* p = s.localPlayers.first; p; p = p->next) {
                    if (p->id == -3) {
                        p->id = h.target;
                        break;
                    }
                    if (p->id == -2 && p->joinSent && !p->quietDrop) {
                        // Nobody waits for it any more: the host forgets the id again.
                        std::int32_t id = h.target;
                        PlayerUnlink(s.localPlayers, p);
                        PlayerFree(p);
                        Unlock(s);
                        SendSimple(client, kNetLeave, 0, id, nullptr, 0);
                        Lock(s);
                        break;
                    }
                }
            }
            QueueUnlink(s.incoming, m);
            FreeMessageEntry(m);
        }
        m = next;
    }
}

} // namespace

void* NetworkThread(void* argument) {
    NetSession& s = *static_cast<NetSession*>(argument);
    // The starter already set stopRequest 0 and threadRunning 1, so a stop issued
    // before this line runs is not lost.
    Lock(s);
    NLsocket client = s.clientSocket;
    NLsocket listener = s.listenSocket;
    Unlock(s);
    s.nextId = 101;
    s.group = nlGroupCreate();
    std::vector<NLsocket> accepted;
    std::vector<NLsocket> gone;
    std::vector<NLsocket> watch;
    std::vector<NLsocket> ready(kNetMaxConnections);
    unsigned char* buffer = static_cast<unsigned char*>(std::malloc(kNetMessageSize + 1));

    for (;;) {
        // 1. Stop test.
        Lock(s);
        bool stop = s.stopRequest != 0;
        Unlock(s);
        if (stop || !buffer) break;

        // What this pass writes goes out together at its end: fewer system calls,
        // the same bytes in the same order.
        nlHoldWrites(NL_TRUE);

        // 2. Local players.
        AnnounceAndDrop(s, client);

        // 3. Client reads.
        for (int i = 0; i < kClientReadsPerPass; ++i) {
            bool valid;
            if (ReadOne(s, client, buffer, &valid) < 0 || !valid) break;
        }

        // 4. Host reads.
        if (listener != -1) {
            bool fatal = false;
            for (int i = 0; i < kAcceptsPerPass; ++i) {
                NLsocket socket = nlAcceptConnection(listener);
                if (socket == NL_INVALID) {
                    NLenum error = nlGetError();
                    fatal = error == NL_SYSTEM_ERROR || error == NL_NOT_LISTEN;
                    break;
                }
                if (static_cast<int>(accepted.size()) >= kNetMaxConnections || s.group < 0 ||
                    !nlGroupAddSocket(s.group, socket)) {
                    nlClose(socket); // full: closed at once
                    continue;
                }
                accepted.push_back(socket);
            }
            if (fatal) {
                Lock(s);
                s.stopRequest = 1;
                Unlock(s);
                break;
            }
            NLint count = s.group < 0 ? 0 : nlPollGroup(s.group, NL_READ_STATUS, ready.data(), kNetMaxConnections, 0);
            for (NLint r = 0; r < count; ++r) {
                NLsocket socket = ready[r];
                for (int i = 0; i < kHostReadsPerConnection; ++i) {
                    bool valid;
                    if (ReadOne(s, socket, buffer, &valid) >= 0) continue;
                    NLenum error = nlGetError();
                    if (IsDisconnect(error)) {
                        // Removed after this pass's answers: a peer that closed its
                        // side still gets the replies to what it sent before.
                        gone.push_back(socket);
                        break;
                    }
                    if (error != NL_BUFFER_SIZE) break; // an oversized packet was skipped: read on
                }
            }
        }

        // 5-7. Delivery and dispatch, under the lock except around writes.
        Lock(s);
        DeliverLocally(s, client);
        if (listener != -1) DispatchAsHost(s, client);
        DispatchAsClient(s, client);
        // Connections that ended take every player record they carried.
        for (NLsocket socket : gone) RemoveRecordsOnSocket(s, socket);
        Unlock(s);

        // The pass's answers go out before the connections that ended are closed.
        nlHoldWrites(NL_FALSE);

        // 8. Whatever was not consumed is dropped.
        QueueClear(s.incoming);
        for (NLsocket socket : gone) {
            nlGroupDeleteSocket(s.group, socket);
            nlClose(socket);
            for (std::size_t i = 0; i < accepted.size(); ++i) {
                if (accepted[i] == socket) {
                    accepted.erase(accepted.begin() + static_cast<long>(i));
                    break;
                }
            }
        }
        gone.clear();

        // 9. Wait for the next thing to do, at most the pass interval.
        watch.clear();
        watch.push_back(client);
        if (listener != -1) watch.push_back(listener);
        watch.insert(watch.end(), accepted.begin(), accepted.end());
        nlWaitSockets(watch.data(), static_cast<NLint>(watch.size()), kPassWaitMs);
    }

    nlHoldWrites(NL_FALSE);
    // End: the connections this thread accepted go with it.
    QueueClear(s.incoming);
    for (NLsocket socket : accepted) nlClose(socket);
    if (s.group >= 0) nlGroupDestroy(s.group);
    s.group = -1;
    std::free(buffer);
    Lock(s);
    s.threadRunning = 0;
    s.stopRequest = 1;
    Unlock(s);
    return nullptr;
}

} // namespace corvane
