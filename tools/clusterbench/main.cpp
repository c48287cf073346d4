// melodex-clusterbench: melodex-idd clusters (tools/cluster.sh) measured on loopback. Not a test.
//   melodex-clusterbench compare --catalog DIR --single PORT --cluster PORT [--clips N] [--foreign DIR]
//       every clip (the catalog's real tracks under seven conditions, and foreign music) posted to
//       one process and to the cluster: how many replies are the same bytes
//   melodex-clusterbench load --catalog DIR --port PORT [--run DIR | --pid PID] [--clients C]
//       [--seconds S] [--fault kill|stop|lose --process NAME --at S [--undo-at S]]
//       clients posting clips back to back: answered/s, latency, CPU per query of the processes
//       in the run folder (or of one process); a fault at --at seconds: kill -9 or SIGSTOP of
//       NAME (shard-0-0), or kill -9 of every replica of NAME's partition (lose), undone at
//       --undo-at (tools/cluster.sh restart, or SIGCONT; run it from the source folder)
#include "MicSimulator.h"
#include "audio/AudioFile.h"
#include "catalog/Catalog.h"
#include "http/HttpClient.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace melodex;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kPath = "/servlet/ZorbelId?id=1003&ownerIdentifier=bench";

struct Options {
    std::string mode, catalog, foreign, run, fault, process;
    int single = 0, cluster = 0, port = 0, pid = 0, clients = 1;
    size_t clips = 40;
    double seconds = 20, at = 5, undoAt = -1;
};

struct Clip {
    std::string condition;
    std::string body;
};

// Clips of the catalog's tracks whose files are here, under seven conditions, and of `foreign`.
std::vector<Clip> makeClips(const Options& o) {
    catalog::Catalog catalog;
    std::string error;
    if (!catalog.open(o.catalog, error)) {
        std::fprintf(stderr, "melodex-clusterbench: %s\n", error.c_str());
        std::exit(1);
    }
    std::vector<std::string> files;
    for (const catalog::Track& t : catalog.tracks())
        if (std::filesystem::exists(t.path))
            files.push_back(t.path);
    std::vector<std::string> foreign;
    if (!o.foreign.empty())
        for (const auto& e : std::filesystem::directory_iterator(o.foreign))
            foreign.push_back(e.path().string());
    std::sort(foreign.begin(), foreign.end());
    struct Condition {
        const char* name;
        double snr = 1000, speed = 1;
        bool reverb = false, gsm = false;
    };
    const std::vector<Condition> conditions = {{"clean"}, {"SNR 5 dB", 5}, {"SNR 0 dB", 0}, {"reverb", 1000, 1, true},
                                               {"GSM + 5 dB", 5, 1, false, true}, {"speed +2 %", 1000, 1.02},
                                               {"speed -3 %", 1000, 0.97}};
    std::mt19937 rng(2026);
    std::vector<Clip> clips;
    for (size_t i = 0; clips.size() < o.clips && !files.empty(); ++i) {
        const bool isForeign = !foreign.empty() && i % 8 == 7;
        const std::string& file = isForeign ? foreign[rng() % foreign.size()] : files[rng() % files.size()];
        const Condition& c = conditions[rng() % conditions.size()];
        audio::AudioFile audio;
        if (!audio.load(file, error, 120.0) || audio.samples.size() < static_cast<size_t>(audio.sampleRate) * 30)
            continue;
        micsim::MicSettings mic;
        mic.atSeconds = 2.0 + static_cast<double>(rng() % static_cast<unsigned>(audio.samples.size() / audio.sampleRate - 16));
        mic.snrDb = c.snr;
        mic.speed = c.speed;
        mic.reverb = c.reverb;
        mic.gsm = c.gsm;
        mic.seed = static_cast<uint32_t>(i + 1);
        std::vector<float> clip;
        if (micsim::MicSimulator(mic).simulate(audio.samples, audio.sampleRate, clip, error))
            clips.push_back({std::string(isForeign ? "foreign, " : "") + c.name, micsim::MicSimulator::clientImage(clip)});
    }
    return clips;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// utime + stime of a process, in seconds, and its parent.
std::pair<double, int> cpuOf(int pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return {0, 0};
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    std::vector<std::string> f;
    while (fields >> field)
        f.push_back(field);
    if (f.size() < 13)
        return {0, 0};
    return {(std::stod(f[11]) + std::stod(f[12])) / static_cast<double>(sysconf(_SC_CLK_TCK)), std::stoi(f[1])};
}

int pidIn(const std::string& file) {
    int pid = 0;
    std::ifstream(file) >> pid;
    return pid;
}

// CPU seconds of the processes a run folder names (and nginx's workers), or of one process.
double cpuSeconds(const Options& o) {
    if (o.pid > 0)
        return cpuOf(o.pid).first;
    std::vector<int> pids;
    for (const auto& e : std::filesystem::directory_iterator(o.run))
        if (e.path().extension() == ".pid")
            pids.push_back(pidIn(e.path().string()));
    const int nginx = pidIn(o.run + "/nginx.pid");
    double total = 0;
    for (int p : pids)
        total += cpuOf(p).first;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (std::all_of(name.begin(), name.end(), ::isdigit)) {
            const auto [cpu, parent] = cpuOf(std::stoi(name));
            if (parent == nginx && nginx > 0)
                total += cpu;
        }
    }
    return total;
}

std::string sameBase(std::string reply, int from, int to) {
    const std::string a = "http://127.0.0.1:" + std::to_string(from), b = "http://127.0.0.1:" + std::to_string(to);
    for (size_t at; (at = reply.find(a)) != std::string::npos;)
        reply.replace(at, a.size(), b);
    return reply;
}

int compare(const Options& o, const std::vector<Clip>& clips) {
    http::HttpClient single("127.0.0.1", o.single), cluster("127.0.0.1", o.cluster);
    std::map<std::string, std::pair<int, int>> byCondition;  // same, all
    int same = 0, matched = 0;
    for (const Clip& c : clips) {
        const auto a = single.post(kPath, c.body);
        const auto b = cluster.post(kPath, c.body);
        const bool equal = a && b && a->status == 200 && b->status == 200 && sameBase(a->body, o.single, o.cluster) == b->body;
        same += equal;
        matched += a && a->body.find("<TRACK_TITLE>") != std::string::npos;
        auto& [s, n] = byCondition[c.condition];
        s += equal;
        ++n;
        if (!equal)
            std::printf("differs (%s): %d vs %d\n", c.condition.c_str(), a ? a->status : 0, b ? b->status : 0);
    }
    for (const auto& [condition, counts] : byCondition)
        std::printf("| %s | %d of %d |\n", condition.c_str(), counts.first, counts.second);
    std::printf("same reply: %d of %zu clips (%d matched by one process)\n", same, clips.size(), matched);
    return same == static_cast<int>(clips.size()) ? 0 : 1;
}

void fault(const Options& o, bool undo) {
    const std::string script = "tools/cluster.sh";  // run from the source folder
    std::vector<std::string> targets{o.process};
    if (o.fault == "lose") {  // every replica of the process's partition
        targets.clear();
        const std::string prefix = o.process.substr(0, o.process.rfind('-') + 1);
        for (const auto& e : std::filesystem::directory_iterator(o.run))
            if (e.path().filename().string().starts_with(prefix) && e.path().extension() == ".pid")
                targets.push_back(e.path().stem().string());
    }
    for (const std::string& t : targets) {
        const int pid = pidIn(o.run + "/" + t + ".pid");
        if (!undo)
            kill(pid, o.fault == "stop" ? SIGSTOP : SIGKILL);
        else if (o.fault == "stop")
            kill(pid, SIGCONT);
        else if (t == targets.front())  // one replica back is enough
            std::system(("bash " + script + " restart " + t + " --run " + o.run + " >/dev/null").c_str());
    }
}

int load(const Options& o, const std::vector<Clip>& clips) {
    std::mutex m;
    std::vector<double> ok;
    std::map<int, int> errors;
    std::atomic<double> lastError{-1}, firstOkAfterUndo{-1};
    const double cpu0 = cpuSeconds(o);
    const auto start = Clock::now();
    const auto end = start + std::chrono::milliseconds(static_cast<long>(o.seconds * 1000));
    const auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    std::vector<std::thread> threads;
    for (int c = 0; c < o.clients; ++c)
        threads.emplace_back([&, c] {
            http::HttpClient client("127.0.0.1", o.port);
            client.setTimeout(60);
            for (size_t i = static_cast<size_t>(c); Clock::now() < end; i += static_cast<size_t>(o.clients)) {
                const auto t0 = Clock::now();
                const auto reply = client.post(kPath, clips[i % clips.size()].body);
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                std::lock_guard lock(m);
                if (reply && reply->status == 200) {
                    ok.push_back(ms);
                    if (o.undoAt >= 0 && elapsed() > o.undoAt && firstOkAfterUndo < 0)
                        firstOkAfterUndo = elapsed();
                } else {
                    ++errors[reply ? reply->status : 0];
                    lastError = elapsed();
                }
            }
        });
    if (!o.fault.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>(o.at * 1000)));
        fault(o, false);
        if (o.undoAt > o.at) {
            std::this_thread::sleep_for(std::chrono::milliseconds(static_cast<long>((o.undoAt - o.at) * 1000)));
            fault(o, true);
        }
    }
    for (auto& t : threads)
        t.join();
    const double wall = elapsed();
    const double cpu = cpuSeconds(o) - cpu0;
    size_t failed = 0;
    for (const auto& [status, n] : errors)
        failed += static_cast<size_t>(n);
    const size_t over1s = static_cast<size_t>(std::count_if(ok.begin(), ok.end(), [](double ms) { return ms > 1000; }));
    std::printf("answered %zu (%.1f/s), failed %zu, p50 %.1f ms, p99 %.1f ms, max %.1f ms, over 1 s %zu, CPU %.1f ms a query\n",
                ok.size(), static_cast<double>(ok.size()) / wall, failed, percentile(ok, 0.5), percentile(ok, 0.99),
                ok.empty() ? 0.0 : *std::max_element(ok.begin(), ok.end()), over1s,
                ok.size() + failed > 0 ? cpu * 1000 / static_cast<double>(ok.size() + failed) : 0.0);
    for (const auto& [status, n] : errors)
        std::printf("  status %d: %d\n", status, n);
    if (lastError >= 0 && o.undoAt >= 0)
        std::printf("  last failure %.1f s after the start; undone at %.1f s; first answer after that at %.1f s\n",
                    lastError.load(), o.undoAt, firstOkAfterUndo.load());
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: melodex-clusterbench compare --catalog DIR --single PORT --cluster PORT [--clips N] [--foreign DIR]\n"
                         "       melodex-clusterbench load --catalog DIR --port PORT [--run DIR | --pid PID] [--clients C]\n"
                         "           [--seconds S] [--clips N] [--fault kill|stop|lose --process NAME --at S [--undo-at S]]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc < 2)
        return usage();
    o.mode = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        const char* v = argv[i + 1];
        if (a == "--catalog") o.catalog = v;
        else if (a == "--foreign") o.foreign = v;
        else if (a == "--single") o.single = std::atoi(v);
        else if (a == "--cluster") o.cluster = std::atoi(v);
        else if (a == "--port") o.port = std::atoi(v);
        else if (a == "--run") o.run = v;
        else if (a == "--pid") o.pid = std::atoi(v);
        else if (a == "--clients") o.clients = std::atoi(v);
        else if (a == "--seconds") o.seconds = std::atof(v);
        else if (a == "--clips") o.clips = static_cast<size_t>(std::atoi(v));
        else if (a == "--fault") o.fault = v;
        else if (a == "--process") o.process = v;
        else if (a == "--at") o.at = std::atof(v);
        else if (a == "--undo-at") o.undoAt = std::atof(v);
        else return usage();
    }
    if (o.catalog.empty() || (o.mode == "compare" && (o.single == 0 || o.cluster == 0)) ||
        (o.mode == "load" && (o.port == 0 || (o.run.empty() && o.pid == 0))) || (o.mode != "compare" && o.mode != "load"))
        return usage();
    const std::vector<Clip> clips = makeClips(o);
    if (clips.empty()) {
        std::fprintf(stderr, "melodex-clusterbench: no clip could be made from the catalog's tracks\n");
        return 1;
    }
    return o.mode == "compare" ? compare(o, clips) : load(o, clips);
}
