// Network figures, each against a plain POSIX poll-loop relay measured in the same
// run with the same framed 17 + 16-byte messages:
// - round trip: a player sending to itself through a host in another process, with
//   1 and 32 messages in flight (messages/s, median latency, the server's processor
//   time per message with its idle cost subtracted);
// - broadcast to 1, 8, 32, 99 raw-socket clients (messages/s delivered, the
//   server's processor time per broadcast);
// - memory: host RSS per client with one player, per queued 10-byte message, and an
//   idle hosted session's processor use over 10 s.
// The program starts itself as the server: "--host <port>" runs the runtime's host,
// "--relay <port> echo|fanout" the plain relay.
#include <benchmark/benchmark.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "runtime/net/net_internal.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kPayload = 16;

double Now() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// ---- raw wire helpers (the bench's own, like a foreign peer's) -------------------

std::string Le(std::int32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((static_cast<std::uint32_t>(v) >> (8 * i)) & 255);
    return s;
}

std::string Framed(int type, std::int32_t target, std::int32_t origin, const std::string& payload) {
    std::string m = std::string("CRVN") + static_cast<char>(type) + Le(static_cast<std::int32_t>(payload.size())) +
                    Le(target) + Le(origin) + payload;
    return std::string("NL") + static_cast<char>(m.size() >> 8) + static_cast<char>(m.size() & 255) + m;
}

int ConnectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    for (int i = 0; i < 200; ++i) {
        if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        close(fd);
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    close(fd);
    return -1;
}

bool SendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Reads whole framed packets from a socket.
struct Reader {
    int fd;
    std::string buffer;
    // The next packet's message bytes, waiting at most timeoutMs; empty on time-out.
    std::string Next(int timeoutMs) {
        for (;;) {
            if (buffer.size() >= 4) {
                std::size_t n = (static_cast<unsigned char>(buffer[2]) << 8) | static_cast<unsigned char>(buffer[3]);
                if (buffer.size() >= 4 + n) {
                    std::string m = buffer.substr(4, n);
                    buffer.erase(0, 4 + n);
                    return m;
                }
            }
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) return std::string();
            char chunk[65536];
            ssize_t got = recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0) return std::string();
            buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }
};

std::int32_t JoinRaw(int fd, Reader& reader) {
    std::string record = Le(-1) + Le(-1) + '\0' + std::string("bench") + std::string(122, '\0') + std::string(16, '\0');
    SendAll(fd, Framed(1, 0, 0, record));
    std::string reply = reader.Next(5000);
    if (reply.size() < 17) return -1;
    std::int32_t id;
    std::memcpy(&id, reply.data() + 9, 4);
    return id;
}

// ---- the servers ------------------------------------------------------------------

int RunHost(int port) {
    corvane::InitNetwork();
    if (corvane::HostGame(corvane::RtString(std::to_string(port).c_str())) != 1.0) return 1;
    corvane::RtString id = corvane::CreatePlayer(corvane::RtString("host"));
    std::printf("%s\n", id.Buffer());
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
    }
    corvane::ReleaseNetwork();
    return 0;
}

int RunRelay(int port, bool fanout) {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener, 256) != 0) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    std::vector<pollfd> fds{{listener, POLLIN, 0}, {0, POLLIN, 0}};
    std::vector<std::string> buffers(2);
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) <= 0) continue;
        if (fds[1].revents) break; // standard input closed: done
        if (fds[0].revents & POLLIN) {
            int c = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (c >= 0) {
                setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                fds.push_back({c, POLLIN, 0});
                buffers.emplace_back();
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char chunk[65536];
            ssize_t got = recv(fds[i].fd, chunk, sizeof chunk, 0);
            if (got <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                continue;
            }
            std::string& b = buffers[i];
            b.append(chunk, static_cast<std::size_t>(got));
            std::size_t at = 0;
            std::string out;
            while (b.size() - at >= 4) {
                std::size_t n = (static_cast<unsigned char>(b[at + 2]) << 8) | static_cast<unsigned char>(b[at + 3]);
                if (b.size() - at < 4 + n) break;
                out.append(b, at, 4 + n);
                at += 4 + n;
            }
            b.erase(0, at);
            if (out.empty()) continue;
            if (!fanout) {
                SendAll(fds[i].fd, out);
            } else {
                for (std::size_t j = 2; j < fds.size(); ++j)
                    if (fds[j].fd >= 0) SendAll(fds[j].fd, out);
            }
        }
    }
    return 0;
}

// A server child with a pipe on its standard input and output.
struct Server {
    pid_t pid = -1;
    int in = -1;
    FILE* out = nullptr;
    int port = 0;
    std::string firstLine;

    Server(const std::vector<std::string>& args) {
        port = std::stoi(args[1]);
        int toChild[2], fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) || pipe2(fromChild, O_CLOEXEC)) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        std::vector<std::string> all = {"/proc/self/exe"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& s : all) argv.push_back(s.data());
        argv.push_back(nullptr);
        posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        in = toChild[1];
        out = fdopen(fromChild[0], "r");
        char line[64] = {};
        if (out && std::fgets(line, sizeof line, out)) firstLine = line;
        while (!firstLine.empty() && firstLine.back() == '\n') firstLine.pop_back();
    }
    ~Server() {
        if (in >= 0) close(in);
        int status;
        for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (waitpid(pid, &status, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        if (out) fclose(out);
    }
    // Processor seconds the server's threads have used so far (nanosecond counts).
    double Cpu() const {
        double total = 0;
        std::string dir = "/proc/" + std::to_string(pid) + "/task";
        for (const auto& task : std::filesystem::directory_iterator(dir)) {
            std::ifstream f(task.path() / "schedstat");
            double ns = 0;
            if (f >> ns) total += ns;
        }
        return total / 1e9;
    }
    // Resident memory in KiB.
    long RssKiB() const {
        std::ifstream f("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(f, line))
            if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
        return 0;
    }
    // Processor seconds per wall second while nothing happens.
    double IdleRate(double seconds) const {
        double c0 = Cpu(), t0 = Now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return (Cpu() - c0) / (Now() - t0);
    }
};

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t size = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    close(fd);
    return ntohs(a.sin_port);
}

std::map<std::string, double> results; // for the ratios printed at the end

std::string Text16(unsigned seq) {
    char text[kPayload + 1];
    std::snprintf(text, sizeof text, "%016u", seq);
    return text;
}

// ---- round trip ---------------------------------------------------------------------

struct RoundTrip {
    double perSecond = 0, medianUs = 0, serverCpuPerMessageUs = 0;
};

template <typename SendFn, typename ReceiveFn>
RoundTrip MeasureRoundTrip(Server& server, int inFlight, int total, SendFn send, ReceiveFn receive) {
    double idle = server.IdleRate(0.5);
    std::vector<double> sentAt(static_cast<std::size_t>(total), 0.0);
    std::vector<double> latency;
    latency.reserve(static_cast<std::size_t>(total));
    double c0 = server.Cpu(), t0 = Now();
    unsigned next = 0;
    int outstanding = 0;
    while (latency.size() < static_cast<std::size_t>(total)) {
        while (outstanding < inFlight && next < static_cast<unsigned>(total)) {
            sentAt[next] = Now();
            if (!send(Text16(next))) return {};
            ++next;
            ++outstanding;
        }
        std::string got = receive();
        if (got.empty()) return {}; // lost: no figure rather than a wrong one
        unsigned seq = static_cast<unsigned>(std::stoul(got));
        if (seq < sentAt.size()) latency.push_back(Now() - sentAt[seq]);
        --outstanding;
    }
    double wall = Now() - t0;
    double cpu = server.Cpu() - c0 - idle * wall;
    std::sort(latency.begin(), latency.end());
    RoundTrip r;
    r.perSecond = total / wall;
    r.medianUs = latency[latency.size() / 2] * 1e6;
    r.serverCpuPerMessageUs = cpu / total * 1e6;
    return r;
}

void Report(benchmark::State& state, const std::string& key, const RoundTrip& r) {
    state.counters["msgs_per_s"] = r.perSecond;
    state.counters["median_us"] = r.medianUs;
    state.counters["server_cpu_us_per_msg"] = r.serverCpuPerMessageUs;
    results[key + ".rate"] = r.perSecond;
    results[key + ".median"] = r.medianUs;
    results[key + ".cpu"] = r.serverCpuPerMessageUs;
}

void BM_RoundTripRuntime(benchmark::State& state) {
    int inFlight = static_cast<int>(state.range(0));
    int port = FreePort();
    Server server({"--host", std::to_string(port)});
    using corvane::RtString;
    corvane::InitNetwork();
    RoundTrip r;
    for (auto _ : state) {
        if (corvane::JoinGame(RtString("127.0.0.1"), RtString(std::to_string(port).c_str())) != 1.0) {
            state.SkipWithError("join failed");
            break;
        }
        RtString id = corvane::CreatePlayer(RtString("me"));
        auto send = [&](const std::string& text) {
            return corvane::SendNetMessage(id, id, RtString(text.c_str())) == 1.0;
        };
        auto receive = [&]() -> std::string {
            double until = Now() + 5.0;
            while (Now() < until) {
                RtString got = corvane::GetNetMessage(id);
                if (got.length) return got.Buffer();
                std::this_thread::yield(); // as a game would between its looks
            }
            return std::string();
        };
        r = MeasureRoundTrip(server, inFlight, 20000, send, receive);
    }
    Report(state, "rt" + std::to_string(inFlight) + ".runtime", r);
    corvane::ReleaseNetwork();
}
BENCHMARK(BM_RoundTripRuntime)->Arg(1)->Arg(32)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RoundTripRelay(benchmark::State& state) {
    int inFlight = static_cast<int>(state.range(0));
    int port = FreePort();
    Server server({"--relay", std::to_string(port), "echo"});
    int fd = ConnectTo(port);
    Reader reader{fd, {}};
    RoundTrip r;
    for (auto _ : state) {
        auto send = [&](const std::string& text) { return SendAll(fd, Framed(3, 101, 101, text)); };
        auto receive = [&]() -> std::string {
            std::string m = reader.Next(5000);
            return m.size() >= 17 ? m.substr(17) : std::string();
        };
        r = MeasureRoundTrip(server, inFlight, 20000, send, receive);
    }
    close(fd);
    Report(state, "rt" + std::to_string(inFlight) + ".relay", r);
}
BENCHMARK(BM_RoundTripRelay)->Arg(1)->Arg(32)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- broadcast ------------------------------------------------------------------------

void Broadcast(benchmark::State& state, bool runtime) {
    int clients = static_cast<int>(state.range(0));
    int port = FreePort();
    std::unique_ptr<Server> server(runtime ? new Server({"--host", std::to_string(port)})
                                           : new Server({"--relay", std::to_string(port), "fanout"}));
    std::vector<int> fds;
    std::int32_t senderId = 101;
    std::vector<Reader> readers;
    for (int i = 0; i < clients; ++i) {
        fds.push_back(ConnectTo(port));
        readers.push_back(Reader{fds.back(), {}});
        std::int32_t id = runtime ? JoinRaw(fds.back(), readers.back()) : 101;
        if (i == 0) senderId = id; // the host forwards data only under the sender's own id
    }
    constexpr int kMessages = 20000;
    constexpr int kWindow = 16;
    double idle = server->IdleRate(0.5);
    double c0 = server->Cpu(), t0 = Now();
    long delivered = 0;
    for (auto _ : state) {
        // Every client reads everything; the last one paces the sender, so at most
        // kWindow broadcasts are on their way.
        std::vector<pollfd> watch;
        for (int fd : fds) watch.push_back({fd, POLLIN, 0});
        std::vector<long> counts(fds.size(), 0);
        int sent = 0;
        while (counts.back() < kMessages) {
            while (sent < kMessages && sent - counts.back() < kWindow) {
                SendAll(fds[0], Framed(3, -1, senderId, Text16(static_cast<unsigned>(sent))));
                ++sent;
            }
            if (poll(watch.data(), watch.size(), 5000) <= 0) break;
            for (std::size_t i = 0; i < watch.size(); ++i) {
                if (!watch[i].revents) continue;
                char chunk[65536];
                ssize_t got = recv(fds[i], chunk, sizeof chunk, MSG_DONTWAIT);
                if (got <= 0) continue;
                std::string& b = readers[i].buffer;
                b.append(chunk, static_cast<std::size_t>(got));
                std::size_t at = 0;
                while (b.size() - at >= 4) {
                    std::size_t n = (static_cast<unsigned char>(b[at + 2]) << 8) | static_cast<unsigned char>(b[at + 3]);
                    if (b.size() - at < 4 + n) break;
                    at += 4 + n;
                    ++counts[i];
                    ++delivered;
                }
                b.erase(0, at);
            }
        }
    }
    double wall = Now() - t0;
    double cpu = server->Cpu() - c0 - idle * wall;
    for (int fd : fds) close(fd);
    state.counters["delivered_per_s"] = delivered / wall;
    state.counters["server_cpu_us_per_broadcast"] = cpu / kMessages * 1e6;
    std::string key = "bc" + std::to_string(clients) + (runtime ? ".runtime" : ".relay");
    results[key + ".rate"] = delivered / wall;
    results[key + ".cpu"] = cpu / kMessages * 1e6;
}

void BM_BroadcastRuntime(benchmark::State& state) { Broadcast(state, true); }
void BM_BroadcastRelay(benchmark::State& state) { Broadcast(state, false); }
BENCHMARK(BM_BroadcastRuntime)->Arg(1)->Arg(8)->Arg(32)->Arg(99)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BroadcastRelay)->Arg(1)->Arg(8)->Arg(32)->Arg(99)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---- memory and idle cost ---------------------------------------------------------------

void BM_HostMemoryAndIdle(benchmark::State& state) {
    int port = FreePort();
    Server server({"--host", std::to_string(port)});
    std::int32_t hostPlayer = std::atoi(server.firstLine.c_str());
    double perClient = 0, perMessage = 0, idleCore = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        long before = server.RssKiB();
        std::vector<int> fds;
        std::int32_t senderId = 5;
        for (int i = 0; i < 98; ++i) {
            fds.push_back(ConnectTo(port));
            Reader reader{fds.back(), {}};
            std::int32_t id = JoinRaw(fds.back(), reader);
            if (fds.size() == 1) senderId = id;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        long withClients = server.RssKiB();
        perClient = (withClients - before) * 1024.0 / 98;
        // 10,000 queued messages for the host's player, which never reads them.
        std::string burst;
        for (int i = 0; i < 10000; ++i) burst += Framed(3, hostPlayer, senderId, "0123456789");
        SendAll(fds[0], burst);
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        perMessage = (server.RssKiB() - withClients) * 1024.0 / 10000;
        for (int fd : fds) close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        idleCore = server.IdleRate(10.0);
    }
    state.counters["rss_bytes_per_client"] = perClient;
    state.counters["rss_bytes_per_queued_msg"] = perMessage;
    state.counters["idle_core_percent"] = idleCore * 100;
    results["mem.client"] = perClient;
    results["mem.message"] = perMessage;
    results["idle.percent"] = idleCore * 100;
}
BENCHMARK(BM_HostMemoryAndIdle)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void PrintRatios() {
    auto get = [](const std::string& k) { return results.count(k) ? results[k] : 0.0; };
    std::printf("\nFigures (runtime against the relay, same run):\n");
    for (const char* n : {"rt1", "rt32"}) {
        std::string k = n;
        std::printf("  round trip %-5s msgs/s %.0f vs %.0f (x%.2f), median %.0f vs %.0f us, server cpu/msg %.1f vs %.1f us (x%.2f)\n",
                    n, get(k + ".runtime.rate"), get(k + ".relay.rate"),
                    get(k + ".runtime.rate") / std::max(1.0, get(k + ".relay.rate")), get(k + ".runtime.median"),
                    get(k + ".relay.median"), get(k + ".runtime.cpu"), get(k + ".relay.cpu"),
                    get(k + ".runtime.cpu") / std::max(0.001, get(k + ".relay.cpu")));
    }
    for (int n : {1, 8, 32, 99}) {
        std::string k = "bc" + std::to_string(n);
        std::printf("  broadcast to %-3d delivered/s %.0f vs %.0f (x%.2f), server cpu per broadcast %.1f vs %.1f us\n", n,
                    get(k + ".runtime.rate"), get(k + ".relay.rate"),
                    get(k + ".runtime.rate") / std::max(1.0, get(k + ".relay.rate")), get(k + ".runtime.cpu"),
                    get(k + ".relay.cpu"));
    }
    std::printf("  host RSS per client %.0f bytes, per queued 10-byte message %.0f bytes, idle %.2f %% of a core\n",
                get("mem.client"), get("mem.message"), get("idle.percent"));
}

} // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc >= 3 && std::strcmp(argv[1], "--host") == 0) return RunHost(std::atoi(argv[2]));
    if (argc >= 4 && std::strcmp(argv[1], "--relay") == 0) return RunRelay(std::atoi(argv[2]), std::strcmp(argv[3], "fanout") == 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatios();
    return 0;
}
