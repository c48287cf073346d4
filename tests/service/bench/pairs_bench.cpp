// Counting pairs for a few nominated tracks by making each track's pairs again from its peaks
// and joining them with the query's: in a large catalog every quick look and whole pass of
// pairs is this join, for a query that matches nowhere a quarter of its time. A catalog of the
// test tracks is built once; the query is a noisy recording of one of them under a speed
// hypothesis, its pairs at the quick look's fan-out and at a whole pass's.
// And counting pairs for every track from the index's lists, as a small catalog does under the
// plain hypothesis with each track's rendering across a large room: over every other installed
// Wesnoth track (40), built once, with a recording of the one left out.
#include "TestSupport.h"
#include "catalog/CatalogBuilder.h"
#include "fingerprint/HashBuilder.h"
#include "fingerprint/Matcher.h"
#include "fingerprint/PeakExtractor.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

using namespace melodex;

// A catalog of `files`, built into a folder of its own once and kept open.
struct BuiltCatalog {
    test::TempDir dir;
    catalog::Catalog catalog;
    explicit BuiltCatalog(const std::vector<std::string>& files) {
        test::buildCatalog(files, dir.path());
        test::openCatalog(catalog, dir.path());
    }
};

const catalog::Catalog& testCatalog() {
    static const BuiltCatalog built(test::catalogTrackFiles());
    return built.catalog;
}

// Every Wesnoth track installed but the one played as music not in the catalog.
const catalog::Catalog& everyTrackCatalog() {
    static const BuiltCatalog built([] {
        std::vector<std::string> files = catalog::CatalogBuilder::findMusic(std::filesystem::path(test::track("")).parent_path());
        std::erase(files, test::track(test::kForeignTrack));
        return files;
    }());
    return built.catalog;
}

void JoinNomineesPairs(benchmark::State& state) {
    const catalog::Catalog& catalog = testCatalog();
    const fp::FingerprintConfig config;
    const fp::PeakExtractor extractor(config);
    const fp::HashBuilder hashes(config);
    const std::vector<float> clip = test::recordClip(test::catalogTrackFiles()[0], 8.0, test::mic(0.0));
    const std::vector<fp::Peak> moved =
        extractor.undoChange(extractor.extract(clip, fp::PeakDensity::Query), fp::Change::speed(1.02));
    const std::vector<fp::Landmark> pairs = hashes.buildPairs(moved, static_cast<int>(state.range(0)), config.pairTimeJitter);
    std::vector<uint32_t> nominees;
    for (const catalog::Track& track : catalog.tracks())
        nominees.push_back(track.id);
    fp::Matcher matcher(catalog.index(), config.offsetTolerance);
    matcher.countPairsFromPeaks(config);
    fp::VoteTally tally;
    for (auto _ : state)
        benchmark::DoNotOptimize(matcher.matchTracks(pairs, nominees, tally));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(nominees.size()));
}
// The quick look's pairs an anchor, and a whole pass's under a change.
BENCHMARK(JoinNomineesPairs)->Arg(4)->Arg(24)->Unit(benchmark::kMicrosecond);

void CountEveryTrackWithTheRoom(benchmark::State& state) {
    const catalog::Catalog& catalog = everyTrackCatalog();
    const fp::FingerprintConfig config;
    const fp::PeakExtractor extractor(config);
    const fp::HashBuilder hashes(config);
    const std::vector<float> clip = test::recordClip(test::track(test::kForeignTrack), 30.0, test::mic(5.0));
    const std::vector<fp::Landmark> pairs =
        hashes.buildPairs(extractor.extract(clip, fp::PeakDensity::Query), config.queryPairFanOut, config.pairTimeJitter);
    std::vector<uint32_t> tracks;
    for (const catalog::Track& track : catalog.tracks())
        tracks.push_back(track.id);
    fp::VoteTally tally, withRoom;
    for (auto _ : state) {
        // A matcher a query, as the service makes: none reads the lists the last one kept.
        const fp::Matcher matcher(catalog.index(), config.offsetTolerance, config.maxHashList);
        benchmark::DoNotOptimize(matcher.matchTracksWithRoom(pairs, tracks, tally, withRoom));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(pairs.size()));
}
BENCHMARK(CountEveryTrackWithTheRoom)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
