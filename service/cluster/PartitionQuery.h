// What a router and the shards of a partitioned catalog say to each other, and how the router
// makes one decision of their answers.
//
// The router decodes the recording and finds its peaks once; every partition gets the peaks
// (a few KB) and the hypotheses (speed, pitch) to try, builds the landmarks itself and answers with its
// best candidate for each hypothesis. Votes for a track never cross partitions, so the best
// and runner-up of each partition, merged, are the best and runner-up over the whole catalog,
// and the decision (score floor, runner-up ratio) made once over them is the one a single
// process makes.
#pragma once

#include "Partitioner.h"
#include "fingerprint/FingerprintConfig.h"
#include "fingerprint/Identifier.h"
#include "fingerprint/PeakExtractor.h"
#include "fingerprint/VoteTally.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace melodex::cluster {

// What a pass counts: the triples, over the whole partition; the pairs, for chosen tracks
// only; or the quick look at the pairs that decides whether their whole pass is worth it
// (FingerprintConfig::pairScreenFanOut).
enum class Pass : uint8_t { triples, pairs, pairScreen };

// One pass a partition is asked for under a hypothesis; pairs are counted for `tracks` (the
// leaders of the triples over every partition).
struct PassRequest {
    fp::Hypothesis hypothesis;
    Pass pass = Pass::triples;
    std::vector<uint32_t> tracks;  // ascending; pairs only
    // The quick look only: where each track's triples lined up best (the look counts its pairs
    // around there, fp::lookWindows), in the tracks' order.
    std::vector<int32_t> offsets;
    bool operator==(const PassRequest&) const = default;
};

// A query to one partition: the recording's peaks and the passes to make of them.
struct PartitionQuery {
    std::vector<PassRequest> passes;
    std::vector<fp::Peak> peaks;
};

// One partition's answer for one pass.
struct PartitionCandidate {
    fp::MatchCandidate candidate;
    uint64_t votes = 0;       // postings that voted
    uint64_t landmarks = 0;   // query landmarks built for this pass
    // Triples only: this partition's best tracks with their scores, best first:
    // config.pairCandidates of them, or every track voted for in a small catalog (everyTrack).
    std::vector<fp::Leader> leaders;
    bool everyTrack = false;
    bool operator==(const PartitionCandidate&) const = default;
};

// Little-endian binary; decoding refuses anything truncated, oversized or not of this form.
std::string encodeQuery(const PartitionQuery& query);
std::optional<PartitionQuery> decodeQuery(std::string_view bytes);
std::string encodeAnswer(const std::vector<PartitionCandidate>& answer);
std::optional<std::vector<PartitionCandidate>> decodeAnswer(std::string_view bytes);

// Asks every partition one query; answers[p][h] is partition p's answer for passes[h].
// False with a reason when some partition could not answer.
using AskPartitions = std::function<bool(const PartitionQuery& query,
                                         std::vector<std::vector<PartitionCandidate>>& answers, std::string& reason)>;

// The identification of a single process over partitions, pass for pass in the same order
// (under each hypothesis the triples, then the pairs among their leaders) and decided alike
// (fp::Verdict), in at most five rounds: the first hypothesis's triples; their pairs; every
// other hypothesis's triples; the quick looks at the pairs of the hypotheses before the first
// whose triples were accepted; the whole pairs of those the looks found worth it. Not the
// last look at the plain pairs' leaders (fp::agreedLeader), nor the count with each track's
// rendering across a large room: the leaders' peaks live in the partitions and the router does
// not ask for them, so a clip no count decides stays unmatched here where one process may find it.
bool identifyAcrossPartitions(const fp::FingerprintConfig& config, const fp::PeakExtractor& peaks,
                              std::span<const float> samples, const AskPartitions& ask, fp::Identification& result,
                              std::string& reason);

// A shard's side: each pass of the query in this partition's index, with what depends on the
// whole catalog taken from `whole` (Partitioner.h): the triples leave out its over-long hashes,
// and the leaders are as many as the whole catalog's size asks for.
std::vector<PartitionCandidate> answerQuery(const fp::FingerprintConfig& config, const fp::FingerprintIndex& index,
                                            const WholeCatalog& whole, const PartitionQuery& query);

} // namespace melodex::cluster
