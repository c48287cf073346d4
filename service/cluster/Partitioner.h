// Splits a catalog into partitions by track, for a cluster of melodex-idd shards:
//   OUT/router        the metadata of every track and no index: what a router answers from
//   OUT/part-<p>      a catalog of one contiguous range of track ids (their index entries
//                     only, deleted tracks' left out), with the same metadata
//   OUT/partitions    one line a partition: its folder, first and last track id, tracks, entries
// Each folder is a catalog (Catalog.h) that melodex-idd opens and watches as any other, so
// partitioning again into the same OUT publishes new versions there.
#pragma once

#include "fingerprint/FingerprintConfig.h"

#include <cstdint>
#include <string>
#include <vector>

namespace melodex::cluster {

struct PartitionRange {
    std::string folder;      // "part-0"
    uint32_t firstTrack = 0;
    uint32_t lastTrack = 0;  // inclusive
    size_t tracks = 0;
    uint64_t entries = 0;
};

struct PartitionReport {
    std::vector<PartitionRange> partitions;
    size_t overLongHashes = 0;
};

// Partitions of about as many tracks each or, given `firstTracks` (each partition's first
// track id, from readPartitionBounds), the same ranges as before, the last one taking the
// tracks added since: while a new version replaces the old process by process, a track is
// never in two partitions at once.
bool partitionCatalog(const std::string& source, const std::string& out, unsigned count,
                      const fp::FingerprintConfig& config, PartitionReport& report, std::string& error,
                      const std::vector<uint32_t>& firstTracks = {});
// Each partition's first track id in a partitioned folder (its `partitions` file).
bool readPartitionBounds(const std::string& out, std::vector<uint32_t>& firstTracks, std::string& error);

// What a partition cannot know alone but a query of the whole catalog depends on, kept beside
// each partition's manifest: the whole index's entry count (a small index counts pairs for every
// track the triples voted for) and the hashes whose lists over the whole catalog are longer than
// config.maxHashList (a query does not read them).
struct WholeCatalog {
    uint64_t entries = 0;
    std::vector<uint32_t> longHashes;  // sorted
};
std::string wholeCatalogFile(uint64_t version);
bool readWholeCatalog(const std::string& directory, uint64_t version, WholeCatalog& whole, std::string& error);

} // namespace melodex::cluster
