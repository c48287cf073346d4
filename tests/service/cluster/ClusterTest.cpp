// A cluster on loopback, started by tools/cluster.sh: two partitions of two replicas each, two
// routers, nginx in front. It answers as one process does, and a replica or router killed, a
// partition lost and a new catalog rolled out cost no failed request and no false "no match".
#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "http/HttpClient.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <tuple>

using namespace melodex;
using namespace std::chrono_literals;

namespace {

constexpr int kPorts = 2 + 2 + 2 * 2;  // nginx's two, two routers, four shards

bool portFree(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool free = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return free;
}

// kPorts free ports in a row, somewhere this test's process id makes unlikely to collide with
// another test's.
int freePorts() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int base = 20000 + static_cast<int>((getpid() * 97 + attempt * 7919) % 30000);
        bool all = true;
        for (int p = base; p < base + kPorts && all; ++p)
            all = portFree(p);
        if (all)
            return base;
    }
    return 0;
}

class Cluster : public ::testing::Test {
protected:
    void SetUp() override {
        test::buildCatalog(test::catalogTrackFiles(), catalog());
        port_ = freePorts();
        ASSERT_NE(port_, 0);
        ASSERT_EQ(script("start " + catalog() + " --partitions 2 --replicas 2 --routers 2 --port " + std::to_string(port_) +
                         " --build " MELODEX_BINARY_DIR),
                  0);
        started_ = true;
    }
    void TearDown() override {
        if (started_) {
            EXPECT_EQ(script("stop"), 0);
        }
        // A sanitizer's report ends the process it was found in, and nginx would hide that by
        // going to another: its output is looked at here.
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(run(), ec))
            if (entry.path().extension() == ".out") {
                const std::string text = test::fileBytes(entry.path());
                EXPECT_EQ(text.find("Sanitizer"), std::string::npos) << entry.path() << ":\n" << text;
            }
    }

    std::string catalog() const { return dir_.path() + "/catalog"; }
    std::string run() const { return dir_.path() + "/run"; }
    int script(const std::string& arguments) const {
        const std::string command =
            "bash " MELODEX_SOURCE_DIR "/tools/cluster.sh " + arguments + " --run " + run() + " >>" + run() + ".log 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void kill9(const std::string& process) const {
        std::ifstream in(run() + "/" + process + ".pid");
        pid_t pid = 0;
        ASSERT_TRUE(in >> pid) << process;
        ASSERT_EQ(::kill(pid, SIGKILL), 0) << process;
    }

    std::unique_ptr<http::HttpClient> client() const {
        auto c = std::make_unique<http::HttpClient>("127.0.0.1", port_);
        c->setTimeout(30);
        return c;
    }

    // The title the catalog in `folder` gives `file`.
    static std::string title(const std::string& folder, const std::string& file) {
        catalog::Catalog c;
        test::openCatalog(c, folder);
        for (const catalog::Track& t : c.tracks())
            if (t.path == file)
                return t.title;
        ADD_FAILURE() << file << " is not in " << folder;
        return {};
    }

    // Requests one after another from a thread of its own until stopped; keeps the outcome of
    // those that did not name the clip's track.
    class Stream {
    public:
        Stream(const Cluster& cluster, std::vector<std::pair<std::string, std::string>> bodies)
            : thread_([this, &cluster, bodies = std::move(bodies)] {
                  const auto c = cluster.client();
                  for (size_t i = 0; !stop_; ++i) {
                      const auto& [bytes, title] = bodies[i % bodies.size()];
                      const std::string got = test::outcome(test::postLikeTheClient(*c, bytes));
                      if (got != title)
                          failures_.push_back(got);
                      ++done_;
                  }
              }) {}
        ~Stream() { finish(); }
        void waitFor(size_t more) {
            const size_t target = done_ + more;
            for (int i = 0; i < 6000 && done_ < target; ++i)
                std::this_thread::sleep_for(10ms);
        }
        std::vector<std::string> finish() {
            stop_ = true;
            if (thread_.joinable())
                thread_.join();
            return failures_;
        }
        size_t done() const { return done_; }

    private:
        std::atomic<bool> stop_{false};
        std::atomic<size_t> done_{0};
        std::vector<std::string> failures_;  // the thread's until finish() joins it
        std::thread thread_;
    };

    std::vector<std::pair<std::string, std::string>> streamClips() const {
        std::vector<std::pair<std::string, std::string>> clips;
        for (const auto& [file, at, snr] : {std::tuple{test::kCatalogTracks[0], 5.0, 15.0},
                                           std::tuple{test::kCatalogTracks[1], 12.0, 10.0},
                                           std::tuple{test::kCatalogTracks[2], 3.0, 1000.0}})
            clips.emplace_back(test::clientImage(test::track(file), at, test::mic(snr)), title(catalog(), test::track(file)));
        return clips;
    }

    test::TempDir dir_;
    int port_ = 0;
    bool started_ = false;
};

TEST_F(Cluster, AnswersByteForByteAsOneProcess) {
    test::RunningService one(catalog());
    http::HttpClient single("127.0.0.1", one.port());
    const auto clusterClient = client();
    http::HttpClient& cluster = *clusterClient;
    const struct {
        const char* name;
        std::string file;
        double at;
        micsim::MicSettings mic;
    } clips[] = {
        {"clean", test::track(test::kCatalogTracks[0]), 6, {}},
        {"noisy", test::track(test::kCatalogTracks[1]), 12, test::mic(5)},
        {"2 % fast", test::track(test::kCatalogTracks[2]), 8, test::mic(20, 1.02)},
        {"3 % slow", test::track(test::kCatalogTracks[0]), 10, test::mic(1000, 0.97)},
        {"not in the catalog", test::track(test::kForeignTrack), 20, {}},
    };
    const std::string singleBase = one.base();
    const std::string clusterBase = "http://127.0.0.1:" + std::to_string(port_);
    const auto sameAsSingle = [&](std::string reply) {
        for (size_t at; (at = reply.find(singleBase)) != std::string::npos;)
            reply.replace(at, singleBase.size(), clusterBase);
        return reply;
    };
    std::vector<std::string> links;
    for (const auto& clip : clips) {
        SCOPED_TRACE(clip.name);
        const std::string bytes = test::clientImage(clip.file, clip.at, clip.mic);
        const auto expected = test::postLikeTheClient(single, bytes);
        const auto got = test::postLikeTheClient(cluster, bytes);
        ASSERT_TRUE(expected && got);
        EXPECT_EQ(got->status, 200);
        EXPECT_EQ(got->body, sameAsSingle(expected->body));
        const auto record = test::parseClientReply(got->body);
        EXPECT_EQ(record.has_value(), clip.file != test::track(test::kForeignTrack));
        if (record)
            for (const char* element : {"ALBUM_ART", "RINGER", "RECOMMEND"})
                if (const auto url = record->fields.find(element);
                    url != record->fields.end() && url->second.starts_with(clusterBase))
                    links.push_back(url->second.substr(clusterBase.size()));
    }
    // What the replies link to, served through the cluster as by one process.
    ASSERT_FALSE(links.empty());
    for (const std::string& link : links) {
        const auto expected = single.get(link);
        const auto got = cluster.get(link);
        ASSERT_TRUE(expected && got) << link;
        EXPECT_EQ(got->status, 200) << link;
        EXPECT_EQ(got->body, sameAsSingle(expected->body)) << link;
    }
}

TEST_F(Cluster, AProcessKilledDuringAStreamFailsNoRequest) {
    for (const char* process : {"shard-0-0", "shard-1-1", "router-0"}) {
        SCOPED_TRACE(process);
        Stream stream(*this, streamClips());
        stream.waitFor(4);
        kill9(process);
        stream.waitFor(12);
        const size_t done = stream.done();
        EXPECT_EQ(stream.finish(), std::vector<std::string>{});
        EXPECT_GE(done, 16u);
        EXPECT_EQ(script(std::string("restart ") + process), 0);
    }
}

TEST_F(Cluster, APartitionWithNoReplicaAnswers503UntilOneReturns) {
    const auto clips = streamClips();
    const auto client_ = client();
    http::HttpClient& c = *client_;
    ASSERT_EQ(test::outcome(test::postLikeTheClient(c, clips[1].first)), clips[1].second);
    kill9("shard-1-0");
    kill9("shard-1-1");
    for (const auto& [bytes, title] : clips) {
        const auto reply = test::postLikeTheClient(c, bytes);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 503);
        EXPECT_NE(reply->body.find("partition 1 of the catalog is unavailable"), std::string::npos) << reply->body;
    }
    ASSERT_EQ(script("restart shard-1-1"), 0);
    // nginx tries a replica it saw fail again after a second.
    std::string got;
    for (int i = 0; i < 100 && got != clips[1].second; ++i) {
        got = test::outcome(test::postLikeTheClient(c, clips[1].first));
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(got, clips[1].second);
}

TEST_F(Cluster, ANewCatalogRolledOutFailsNoRequest) {
    // The new version adds a track; the old one's tracks keep their ids.
    const std::string next = dir_.path() + "/next";
    std::filesystem::copy(catalog(), next);
    test::addToCatalog({test::track(test::kForeignTrack)}, next);
    const std::string added = test::clientImage(test::track(test::kForeignTrack), 20);
    const auto client_ = client();
    http::HttpClient& c = *client_;
    EXPECT_EQ(test::outcome(test::postLikeTheClient(c, added)), "");

    Stream stream(*this, streamClips());
    stream.waitFor(3);
    ASSERT_EQ(script("update " + next), 0);
    stream.waitFor(3);
    const size_t done = stream.done();
    EXPECT_EQ(stream.finish(), std::vector<std::string>{});
    EXPECT_GE(done, 6u);
    EXPECT_EQ(test::outcome(test::postLikeTheClient(c, added)), title(next, test::track(test::kForeignTrack)));
}

} // namespace
