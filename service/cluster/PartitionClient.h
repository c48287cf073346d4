// A router's side of the partitions: each query goes to every partition at once, through the
// proxy in front of the partitions' replicas (nginx: POST <base>/part/<p>/match), over
// kept-alive connections. A partition whose every replica failed is a reason to give the
// phone 503, never "no match".
#pragma once

#include "PartitionQuery.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace melodex::http {
class HttpClient;
}

namespace melodex::cluster {

class PartitionClient {
public:
    // host:port of the proxy; `partitions` of them, numbered from 0.
    PartitionClient(std::string host, int port, unsigned partitions, double timeoutSeconds = 10.0);
    ~PartitionClient();

    static std::string target(unsigned partition) { return "/part/" + std::to_string(partition) + "/match"; }

    bool ask(const PartitionQuery& query, std::vector<std::vector<PartitionCandidate>>& answers, std::string& reason);

private:
    bool askOne(unsigned partition, const std::string& body, std::vector<PartitionCandidate>& answer,
                std::string& reason);

    std::string host_;
    int port_;
    unsigned partitions_;
    double timeoutSeconds_;
    std::mutex mutex_;
    std::vector<std::vector<std::unique_ptr<http::HttpClient>>> idle_;  // per partition
};

} // namespace melodex::cluster
