// A router's side in this process: several phones' queries at once go to every partition over
// HTTP (a stand-in for nginx routes /part/<p>/match to shards), and a partition that cannot
// answer makes the phone's request a 503 naming it, never "no match".
#include "TestSupport.h"
#include "catalog/Catalog.h"
#include "cluster/PartitionClient.h"
#include "cluster/Partitioner.h"
#include "cluster/ShardService.h"
#include "http/HttpServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace melodex;

namespace {

class Router : public ::testing::Test {
protected:
    void SetUp() override {
        test::buildCatalog(test::catalogTrackFiles(), catalog());
        cluster::PartitionReport report;
        std::string error;
        ASSERT_TRUE(cluster::partitionCatalog(catalog(), dir_.path() + "/parts", 2, config_, report, error)) << error;
        for (int p = 0; p < 2; ++p) {
            cluster::ShardOptions o;
            o.catalogDir = dir_.path() + "/parts/part-" + std::to_string(p);
            o.accessLog = nullptr;
            o.catalogPollMs = 0;
            shards_.push_back(std::make_unique<cluster::ShardService>(o));
            ASSERT_TRUE(shards_.back()->open(error)) << error;
        }
        // What nginx does for the routers, less the replicas: /part/<p>/match to shard p.
        proxy_ = std::make_unique<http::HttpServer>(
            http::HttpLimits{}, 4,
            [this](const http::HttpRequest& q, http::HttpResponse& r) {
                for (size_t p = 0; p < shards_.size(); ++p)
                    if (q.path == cluster::PartitionClient::target(static_cast<unsigned>(p))) {
                        if (down_ == static_cast<int>(p)) {
                            r.status = 502;
                            r.body = "<html><body>502 Bad Gateway</body></html>";
                            return;
                        }
                        http::HttpRequest forwarded = q;
                        forwarded.path = cluster::ShardService::kMatchPath;
                        return shards_[p]->handle(forwarded, r);
                    }
                r.status = 404;
            },
            [](const http::HttpExchange&) {});
        ASSERT_TRUE(proxy_->listen("127.0.0.1", 0, 64, error)) << error;
        proxyThread_.emplace(*proxy_);
    }

    std::string catalog() const { return dir_.path() + "/catalog"; }
    bool identify(cluster::PartitionClient& client, std::span<const float> samples, fp::Identification& result,
                  std::string& reason) const {
        const auto ask = [&](const cluster::PartitionQuery& q, auto& answers, std::string& why) { return client.ask(q, answers, why); };
        return cluster::identifyAcrossPartitions(config_, fp::PeakExtractor(config_), samples, ask, result, reason);
    }

    test::TempDir dir_;
    fp::FingerprintConfig config_;
    std::vector<std::unique_ptr<cluster::ShardService>> shards_;
    std::atomic<int> down_{-1};
    std::unique_ptr<http::HttpServer> proxy_;
    std::optional<test::ServerThread<http::HttpServer>> proxyThread_;
};

TEST_F(Router, ManyPhonesAtOnceGetTheAnswersOfOneProcess) {
    catalog::Catalog whole;
    test::openCatalog(whole, catalog());
    const fp::Identifier one(config_, whole.index());
    std::vector<std::vector<float>> clips;
    std::vector<fp::Identification> expected;
    for (const auto& [file, at, speed] : {std::tuple{test::track(test::kCatalogTracks[0]), 4.0, 1.0},
                                         std::tuple{test::track(test::kCatalogTracks[1]), 9.0, 1.03},
                                         std::tuple{test::track(test::kCatalogTracks[2]), 14.0, 1.0},
                                         std::tuple{test::track(test::kForeignTrack), 30.0, 1.0}}) {
        clips.push_back(test::recordClip(file, at, test::mic(10, speed)));
        expected.push_back(one.identify(clips.back()));
    }
    cluster::PartitionClient client("127.0.0.1", proxy_->port(), 2);
    std::vector<std::thread> phones;
    std::atomic<int> wrong{0};
    for (int phone = 0; phone < 4; ++phone)
        phones.emplace_back([&, phone] {
            for (size_t i = 0; i < clips.size() * 2; ++i) {
                const size_t c = (i + static_cast<size_t>(phone)) % clips.size();
                fp::Identification got;
                std::string reason;
                if (!identify(client, clips[c], got, reason) || test::answerOf(got) != test::answerOf(expected[c]))
                    ++wrong;
            }
        });
    for (auto& p : phones)
        p.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(expected[0].matched && expected[1].matched && !expected[3].matched);
}

TEST_F(Router, APartitionThatCannotAnswerIsAReasonNotANoMatch) {
    const std::vector<float> clip = test::recordClip(test::track(test::kCatalogTracks[1]), 6.0);
    cluster::PartitionClient client("127.0.0.1", proxy_->port(), 2);
    struct Case {
        const char* name;
        int down;
        bool answers;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"every partition up", -1, true, ""},
        {"partition 1 down", 1, false, "partition 1 of the catalog is unavailable: no replica answered (502); try again later"},
        {"partition 0 down", 0, false, "partition 0 of the catalog is unavailable: no replica answered (502); try again later"},
    };
    for (const Case& k : cases) {
        down_ = k.down;
        fp::Identification result;
        std::string reason;
        EXPECT_EQ(identify(client, clip, result, reason), k.answers) << k.name;
        EXPECT_EQ(reason, k.reason) << k.name;
        EXPECT_EQ(result.matched, k.answers) << k.name;
    }
    proxyThread_->stop();
    fp::Identification result;
    std::string reason;
    EXPECT_FALSE(identify(client, clip, result, reason));
    EXPECT_NE(reason.find("cannot be asked"), std::string::npos) << reason;
}

} // namespace
