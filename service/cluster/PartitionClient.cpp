#include "PartitionClient.h"

#include "http/HttpClient.h"

#include <future>

namespace melodex::cluster {

PartitionClient::PartitionClient(std::string host, int port, unsigned partitions, double timeoutSeconds)
    : host_(std::move(host)), port_(port), partitions_(partitions), timeoutSeconds_(timeoutSeconds), idle_(partitions) {}

PartitionClient::~PartitionClient() = default;

bool PartitionClient::askOne(unsigned partition, const std::string& body, std::vector<PartitionCandidate>& answer,
                             std::string& reason) {
    std::unique_ptr<http::HttpClient> client;
    {
        std::lock_guard lock(mutex_);
        if (!idle_[partition].empty()) {
            client = std::move(idle_[partition].back());
            idle_[partition].pop_back();
        }
    }
    if (!client) {
        client = std::make_unique<http::HttpClient>(host_, port_);
        client->setTimeout(timeoutSeconds_);
    }
    const auto reply = client->post(target(partition), body, "application/octet-stream");
    const std::string name = "partition " + std::to_string(partition) + " of the catalog";
    if (!reply) {
        reason = name + " cannot be asked (" + client->error() + ")";
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        idle_[partition].push_back(std::move(client));
    }
    if (reply->status != 200) {
        // The proxy has tried every replica by now: 502 (none reachable), 503 (none could
        // answer), 504 (none answered in time).
        std::string said = reply->body.substr(0, std::min<size_t>(reply->body.find('\n'), 120));
        if (said.find('<') != std::string::npos)  // the proxy's own HTML page
            said.clear();
        reason = name + " is unavailable: no replica answered (" + std::to_string(reply->status) +
                 (said.empty() ? "" : ": " + said) + "); try again later";
        return false;
    }
    auto decoded = decodeAnswer(reply->body);
    if (!decoded) {
        reason = name + " answered something that is not a partition answer";
        return false;
    }
    answer = std::move(*decoded);
    return true;
}

bool PartitionClient::ask(const PartitionQuery& query, std::vector<std::vector<PartitionCandidate>>& answers,
                          std::string& reason) {
    const std::string body = encodeQuery(query);
    answers.assign(partitions_, {});
    std::vector<std::string> reasons(partitions_);
    std::vector<std::future<bool>> others;
    for (unsigned p = 1; p < partitions_; ++p)
        others.push_back(std::async(std::launch::async, [&, p] { return askOne(p, body, answers[p], reasons[p]); }));
    bool ok = askOne(0, body, answers[0], reasons[0]);
    for (auto& f : others)
        ok = f.get() && ok;
    if (!ok)
        for (const std::string& r : reasons)
            if (!r.empty()) {
                reason = r;
                break;
            }
    return ok;
}

} // namespace melodex::cluster
