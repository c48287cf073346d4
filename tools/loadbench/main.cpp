// melodex-loadbench: melodex-idd under load and abuse, on loopback. Not a test: run it by hand.
//   melodex-loadbench --idd build/service/melodex-idd --catalog DIR [--clients 4] [--slow 200]
//       [--seconds 20] [--malformed-per-second 20] [--uploads 10000] [--stop-clients 32]
// Starts the service as a child, then:
//   1. baseline: --clients phones post real clips (the client's recording image) back to back;
//   2. attack: the same, while --slow connections trickle a byte a second (half in their
//      headers, half in their bodies, from many addresses) and a stream of malformed requests
//      runs beside them;
//   3. memory: --uploads malformed uploads one after another (is memory flat?), then each
//      hostile request eight at once (growth of the peak resident size);
//   4. stop: --stop-clients requests in flight when SIGTERM comes; how many were answered.
// Between 3 and 4, twenty-one requests on one kept-alive connection: the second and later ones
// should be as quick as the first.
// Prints requests/s, p50/p99 of the good requests, errors and resident memory as Markdown.
#include "HostileUploads.h"
#include "MicSimulator.h"
#include "audio/AudioFile.h"
#include "catalog/Catalog.h"
#include "http/HttpClient.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

using namespace melodex;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

struct Options {
    std::string idd;
    std::string catalog;
    int clients = 4;
    int slow = 200;
    double seconds = 20.0;
    double malformedPerSecond = 20.0;
    int uploads = 10000;
    int stopClients = 32;
    int port = 0;
};

struct Clip {
    std::string body;
    std::string title;
};

// --- the service as a child process ------------------------------------------------------

pid_t g_service = 0;

int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

bool startService(const Options& o) {
    const std::string port = std::to_string(o.port);
    const char* argv[] = {o.idd.c_str(), "--catalog", o.catalog.c_str(), "--port", port.c_str(), "--access-log", "/dev/null", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawn(&g_service, o.idd.c_str(), &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    for (int i = 0; i < 300; ++i) {
        http::HttpClient probe("127.0.0.1", o.port);
        probe.setTimeout(1);
        if (auto r = probe.get("/"); r && r->status == 200)
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

// Resident and peak resident memory of the service, in MiB.
std::pair<double, double> memory() {
    std::ifstream in("/proc/" + std::to_string(g_service) + "/status");
    std::string line;
    double rss = 0, hwm = 0;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::atof(line.c_str() + 6) / 1024.0;
        if (line.rfind("VmHWM:", 0) == 0)
            hwm = std::atof(line.c_str() + 6) / 1024.0;
    }
    return {rss, hwm};
}

// Waits (at most a minute) until the resident size holds still: requests still running inside
// the service after their clients gave up would otherwise count in the next measurement.
void settle() {
    double last = -100;
    for (int i = 0; i < 120; ++i) {
        const double now = memory().first;
        if (std::abs(now - last) < 0.5)
            return;
        last = now;
        std::this_thread::sleep_for(500ms);
    }
}

// --- raw connections ------------------------------------------------------------------------

using http::connectFrom;

// Sends a request, reads until the server closes or a whole response is in; the status or 0.
int exchange(int port, const std::string& from, const std::string& request) {
    const int fd = connectFrom(port, from);
    if (fd < 0)
        return 0;
    send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string reply;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) {
        reply.append(buffer, static_cast<size_t>(n));
        const size_t end = reply.find("\r\n\r\n");
        if (end != std::string::npos) {
            const size_t cl = reply.find("Content-Length: ");
            if (cl != std::string::npos && reply.size() >= end + 4 + std::strtoul(reply.c_str() + cl + 16, nullptr, 10))
                break;
        }
    }
    close(fd);
    return reply.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(reply.c_str() + 9) : 0;
}

std::string post(const std::string& body, const std::string& extra = "") {
    return "POST /servlet/ZorbelId?id=1003&ownerIdentifier=bench HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// --- hostile requests -------------------------------------------------------------------------

using loadbench::hostileFlac;
using loadbench::malformedOgg;

struct Hostile {
    const char* name;
    std::string request;
};

std::vector<Hostile> hostileRequests(const std::string& goodBody) {
    std::string manyHeaders = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 2000; ++i)
        manyHeaders += "X-" + std::to_string(i) + ": y\r\n";
    return {
        {"wrong id", "POST /servlet/ZorbelId?id=1004 HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello"},
        {"truncated recording", post(goodBody.substr(0, 90000))},
        {"not audio", post(std::string(20000, 'z'))},
        {"FLAC header claiming 8 ch, 384 kHz, 2^36 frames", post(hostileFlac())},
        {"malformed Ogg (58 bytes)", post(malformedOgg())},
        {"2000 header lines", manyHeaders + "\r\n"},
        {"two different Content-Lengths", "POST /servlet/ZorbelId?id=1003 HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nContent-Length: 5\r\n\r\nabcde"},
        {"PUT", "PUT /servlet/ZorbelId HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
        {"%00 in id", "POST /servlet/ZorbelId?id=10%0003 HTTP/1.1\r\nHost: x\r\nContent-Length: 1\r\nConnection: close\r\n\r\nx"},
    };
}

// --- measurements -------------------------------------------------------------------------

struct Run {
    std::vector<double> ms;  // good requests
    int errors = 0;          // no answer, or not 200
    int unidentified = 0;    // answered 200 without the clip's song
    double seconds = 0;
    double peakRss = 0;
};

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

Run goodClients(const Options& o, const std::vector<Clip>& clips) {
    Run run;
    std::mutex m;
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(static_cast<long>(o.seconds * 1000));
    std::vector<std::thread> threads;
    for (int c = 0; c < o.clients; ++c)
        threads.emplace_back([&, c] {
            http::HttpClient client("127.0.0.1", o.port);
            client.setTimeout(60);
            client.setField("User-Agent", "WindowsMobile-Melodex-0.9");
            for (size_t i = static_cast<size_t>(c); Clock::now() < end && i < 100000; i += static_cast<size_t>(o.clients)) {
                const Clip& clip = clips[i % clips.size()];
                const auto t0 = Clock::now();
                const auto reply = client.post("/servlet/ZorbelId?id=1003&ownerIdentifier=bench", clip.body);
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                const bool answered = reply && reply->status == 200;
                const bool identified =
                    answered && reply->body.find("<TRACK_TITLE>" + clip.title + "</TRACK_TITLE>") != std::string::npos;
                std::lock_guard lock(m);
                if (answered)
                    run.ms.push_back(ms);
                else
                    ++run.errors;
                if (answered && !identified)
                    ++run.unidentified;
            }
        });
    while (Clock::now() < end) {
        run.peakRss = std::max(run.peakRss, memory().first);
        std::this_thread::sleep_for(200ms);
    }
    for (auto& t : threads)
        t.join();
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return run;
}

// Slow connections: a byte a second each, reconnecting when the server drops one.
struct SlowCrowd {
    std::atomic<bool> stop{false};
    std::atomic<long> refused{0};
    std::atomic<long> dropped{0};
    std::thread thread;

    void start(const Options& o) {
        thread = std::thread([this, o] {
            struct Conn {
                int fd = -1;
                std::string text;
                size_t sent = 0;
                std::string from;
            };
            std::vector<Conn> conns(static_cast<size_t>(o.slow));
            const std::string headerFirst = "POST /servlet/ZorbelId?id=1003 HTTP/1.1\r\nHost: x\r\nContent-Length: 180096\r\n\r\n";
            for (size_t i = 0; i < conns.size(); ++i) {
                conns[i].from = "127.0.1." + std::to_string(1 + i / 10);  // ten per address
                // Half dribble their headers, half announce a body and dribble that.
                conns[i].text = i % 2 ? headerFirst : headerFirst + std::string(180096, 'b');
                conns[i].sent = i % 2 ? 0 : headerFirst.size();
            }
            while (!stop) {
                for (Conn& c : conns) {
                    if (c.fd < 0) {
                        c.fd = connectFrom(o.port, c.from, false);
                        if (c.fd < 0) {
                            ++refused;
                            continue;
                        }
                        if (c.sent > 0)
                            send(c.fd, c.text.data(), c.sent, MSG_NOSIGNAL);
                    }
                    char scratch[512];
                    const ssize_t got = recv(c.fd, scratch, sizeof scratch, MSG_DONTWAIT);
                    if (got == 0 || send(c.fd, c.text.data() + std::min(c.sent, c.text.size() - 1), 1, MSG_NOSIGNAL) != 1) {
                        close(c.fd);
                        c.fd = -1;
                        ++dropped;
                    }
                }
                for (int i = 0; i < 10 && !stop; ++i)
                    std::this_thread::sleep_for(100ms);
            }
            for (Conn& c : conns)
                if (c.fd >= 0)
                    close(c.fd);
        });
    }
    void finish() {
        stop = true;
        thread.join();
    }
};

struct MalformedStream {
    std::atomic<bool> stop{false};
    std::atomic<long> sent{0};
    std::atomic<long> unanswered{0};
    std::thread thread;

    void start(const Options& o, std::vector<Hostile> kinds) {
        thread = std::thread([this, o, kinds = std::move(kinds)] {
            const auto gap = std::chrono::microseconds(static_cast<long>(1e6 / std::max(0.1, o.malformedPerSecond)));
            for (size_t i = 0; !stop; ++i) {
                const auto t0 = Clock::now();
                if (exchange(o.port, "127.0.2.1", kinds[i % kinds.size()].request) == 0)
                    ++unanswered;
                ++sent;
                std::this_thread::sleep_until(t0 + gap);
            }
        });
    }
    void finish() {
        stop = true;
        thread.join();
    }
};

void printRun(const char* what, const Run& r) {
    std::printf("| %s | %.1f | %.1f | %.1f | %zu | %d | %d |\n", what, static_cast<double>(r.ms.size()) / r.seconds,
                percentile(r.ms, 0.5), percentile(r.ms, 0.99), r.ms.size(), r.errors, r.unidentified);
}

int usage() {
    std::fprintf(stderr, "usage: melodex-loadbench --idd PATH --catalog DIR [--clients N] [--slow N] [--seconds S]\n"
                         "                         [--malformed-per-second R] [--uploads N] [--stop-clients N]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = argv[i + 1];
        if (a == "--idd") o.idd = v;
        else if (a == "--catalog") o.catalog = v;
        else if (a == "--clients") o.clients = std::atoi(v);
        else if (a == "--slow") o.slow = std::atoi(v);
        else if (a == "--seconds") o.seconds = std::atof(v);
        else if (a == "--malformed-per-second") o.malformedPerSecond = std::atof(v);
        else if (a == "--uploads") o.uploads = std::atoi(v);
        else if (a == "--stop-clients") o.stopClients = std::atoi(v);
        else return usage();
    }
    if (o.idd.empty() || o.catalog.empty() || o.clients < 1 || o.seconds <= 0 || o.seconds > 600 || o.slow > 2000 ||
        o.uploads > 100000)
        return usage();
    std::signal(SIGPIPE, SIG_IGN);

    // Clips: 11 s of catalog tracks as the phone records them (room, noise), as its image.
    catalog::Catalog catalog;
    std::string error;
    if (!catalog.open(o.catalog, error)) {
        std::fprintf(stderr, "melodex-loadbench: %s\n", error.c_str());
        return 1;
    }
    std::vector<Clip> clips;
    std::mt19937 rng(2026);
    for (size_t t = 0; t < catalog.tracks().size() && clips.size() < 12; t += std::max<size_t>(1, catalog.tracks().size() / 12)) {
        const catalog::Track& track = catalog.tracks()[t];
        audio::AudioFile file;
        if (!file.load(track.path, error, 60.0) || file.samples.size() < static_cast<size_t>(file.sampleRate) * 30)
            continue;
        micsim::MicSettings room;
        room.atSeconds = 5.0 + static_cast<double>(rng() % 15);
        room.snrDb = 15;
        room.seed = static_cast<uint32_t>(t + 1);
        std::vector<float> clip;
        if (micsim::MicSimulator(room).simulate(file.samples, file.sampleRate, clip, error))
            clips.push_back({micsim::MicSimulator::clientImage(clip), track.title});
    }
    if (clips.empty()) {
        std::fprintf(stderr, "melodex-loadbench: no clip could be made from the catalog's tracks\n");
        return 1;
    }
    // Titles the service sends are Windows-1252: keep clips whose titles are plain ASCII.
    clips.erase(std::remove_if(clips.begin(), clips.end(), [](const Clip& c) {
                    return std::any_of(c.title.begin(), c.title.end(), [](char ch) { return static_cast<unsigned char>(ch) > 0x7E; });
                }), clips.end());

    o.port = freePort();
    if (!startService(o)) {
        std::fprintf(stderr, "melodex-loadbench: %s did not start\n", o.idd.c_str());
        return 1;
    }
    const auto [rss0, hwm0] = memory();
    std::printf("melodex-loadbench: %s, %zu clips, %d clients, %d slow connections, %.0f malformed/s, %.0f s a phase\n\n",
                o.idd.c_str(), clips.size(), o.clients, o.slow, o.malformedPerSecond, o.seconds);
    std::printf("| phase | answered/s | p50 ms | p99 ms | answered 200 | errors | 200 without the song |\n"
                "|---|---|---|---|---|---|---|\n");

    // 1. Baseline.
    const Run base = goodClients(o, clips);
    printRun("clients alone", base);
    std::fflush(stdout);

    // 2. Attack.
    const std::vector<Hostile> kinds = hostileRequests(clips[0].body);
    SlowCrowd crowd;
    MalformedStream stream;
    crowd.start(o);
    stream.start(o, kinds);
    std::this_thread::sleep_for(2s);
    const Run attacked = goodClients(o, clips);
    crowd.finish();
    stream.finish();
    printRun("clients + slow connections + malformed stream", attacked);
    std::printf("\nattack: %ld malformed requests sent, %ld unanswered; slow connections dropped by the server %ld, "
                "refused %ld\n", stream.sent.load(), stream.unanswered.load(), crowd.dropped.load(), crowd.refused.load());
    settle();
    const auto [rss1, hwm1] = memory();
    std::printf("resident MiB: before %.1f, during the attack (peak sampled) %.1f, after %.1f; p99 attack/alone %.2f\n\n",
                rss0, attacked.peakRss, rss1, percentile(attacked.ms, 0.99) / std::max(1e-9, percentile(base.ms, 0.99)));
    std::fflush(stdout);

    // 3a. Malformed uploads one after another, four senders (before the probe below, whose
    // large allocations in a service without bounds would blur the resident sizes).
    const auto [rssU0, hwmU0] = memory();
    const auto tU = Clock::now();
    std::atomic<int> done{0};
    std::atomic<int> answered{0};
    std::vector<std::thread> senders;
    const std::vector<std::string> uploads = {post(malformedOgg()), post(std::string(3000, 'z'))};
    for (int s = 0; s < 4; ++s)
        senders.emplace_back([&, s] {
            for (int i = done++; i < o.uploads; i = done++)
                if (exchange(o.port, "127.0.5." + std::to_string(s + 1), uploads[static_cast<size_t>(i) % uploads.size()]) >= 400)
                    ++answered;
        });
    for (auto& t : senders)
        t.join();
    const auto [rssU1, hwmU1] = memory();
    std::printf("%d malformed uploads (Ogg, text) in %.1f s, %d refused with 4xx: resident %.1f -> %.1f MiB "
                "(peak %.1f -> %.1f)\n", o.uploads, std::chrono::duration<double>(Clock::now() - tU).count(),
                answered.load(), rssU0, rssU1, hwmU0, hwmU1);
    std::fflush(stdout);

    // 3b. Each hostile request, eight at once: growth of the peak resident memory.
    std::printf("\n| hostile request, 8 at once | status | peak resident growth MiB |\n|---|---|---|\n");
    for (const Hostile& h : kinds) {
        const double before = memory().second;
        std::vector<std::thread> eight;
        std::atomic<int> status{0};
        for (int i = 0; i < 8; ++i)
            eight.emplace_back([&, i] { status = exchange(o.port, "127.0.4." + std::to_string(i + 1), h.request); });
        for (auto& t : eight)
            t.join();
        std::printf("| %s | %d | %.1f |\n", h.name, status.load(), memory().second - before);
    }
    std::fflush(stdout);

    // 3c. Kept-alive connection: is a second request as quick as the first?
    {
        http::HttpClient client("127.0.0.1", o.port);
        std::vector<double> times;
        for (int i = 0; i < 21; ++i) {
            const auto t0 = Clock::now();
            const auto reply = client.get("/art/0.jpg");
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            if (!reply || reply->status != 200)
                times.back() = -1;
        }
        const double first = times.front();
        times.erase(times.begin());
        std::printf("kept-alive GET /art/0.jpg: first %.2f ms, the next 20: median %.2f ms, max %.2f ms\n", first,
                    percentile(times, 0.5), percentile(times, 1.0));
    }
    std::fflush(stdout);

    // 4. SIGTERM with requests in flight: half sent whole, half still sending their body.
    std::vector<int> fds;
    for (int i = 0; i < o.stopClients; ++i) {
        const std::string request = post(clips[static_cast<size_t>(i) % clips.size()].body);
        const int fd = connectFrom(o.port, "127.0.6." + std::to_string(1 + i));
        if (fd < 0)
            continue;
        send(fd, request.data(), i % 2 ? request.size() / 2 : request.size(), MSG_NOSIGNAL);
        fds.push_back(fd);
    }
    kill(g_service, SIGTERM);
    std::this_thread::sleep_for(100ms);
    for (size_t i = 1; i < fds.size(); i += 2) {
        const std::string request = post(clips[i % clips.size()].body);
        send(fds[i], request.data() + request.size() / 2, request.size() - request.size() / 2, MSG_NOSIGNAL);
    }
    int ok = 0;
    for (int fd : fds) {
        std::string reply;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0)
            reply.append(buffer, static_cast<size_t>(n));
        close(fd);
        ok += reply.rfind("HTTP/1.1 200", 0) == 0 ? 1 : 0;
    }
    int status = 0;
    waitpid(g_service, &status, 0);
    std::printf("SIGTERM with %zu requests in flight: %d answered 200, %zu closed without an answer; exit status %d\n",
                fds.size(), ok, fds.size() - static_cast<size_t>(ok), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
