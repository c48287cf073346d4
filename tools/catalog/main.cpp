// melodex-catalog: builds and changes the catalog that melodex-idd serves.
//   melodex-catalog build MUSIC_DIR -o CATALOG_DIR [--seconds N] [--threads N] [--memory MB] [--quiet]
//   melodex-catalog add MUSIC_DIR -o CATALOG_DIR [same options]
//   melodex-catalog remove CATALOG_DIR FILE...
//   melodex-catalog merge CATALOG_DIR
//   melodex-catalog info CATALOG_DIR
//   melodex-catalog partition CATALOG_DIR -o OUT_DIR --partitions P [--like PREVIOUS_OUT_DIR]
#include "catalog/Catalog.h"
#include "catalog/CatalogBuilder.h"
#include "cluster/Partitioner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

using namespace melodex;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: melodex-catalog build MUSIC_DIR -o CATALOG_DIR [--seconds N] [--threads N] [--memory MB] [--quiet]\n"
                 "       melodex-catalog add MUSIC_DIR -o CATALOG_DIR [--seconds N] [--threads N] [--memory MB] [--quiet]\n"
                 "       melodex-catalog remove CATALOG_DIR FILE...\n"
                 "       melodex-catalog merge CATALOG_DIR\n"
                 "       melodex-catalog info CATALOG_DIR\n"
                 "       melodex-catalog partition CATALOG_DIR -o OUT_DIR --partitions P [--like PREVIOUS_OUT_DIR]\n");
    return 2;
}

// One line a second at most: tracks done, their rate and the time left at that rate.
void printProgress(const catalog::BuildProgress& p, bool terminal) {
    static double lastPrinted = -1.0;
    if (p.done != p.total && p.elapsedSeconds - lastPrinted < 1.0)
        return;
    lastPrinted = p.elapsedSeconds;
    const double rate = p.elapsedSeconds > 0 ? static_cast<double>(p.done) / p.elapsedSeconds : 0.0;
    const double left = rate > 0 ? static_cast<double>(p.total - p.done) / rate : 0.0;
    std::fprintf(stderr, "%s%zu/%zu tracks, %.1f tracks/s (%.0fx real time), %.0f min left%s", terminal ? "\r" : "",
                 p.done, p.total, rate, p.elapsedSeconds > 0 ? p.audioSeconds / p.elapsedSeconds : 0.0, left / 60.0,
                 terminal && p.done != p.total ? "   " : "\n");
}

int info(const std::string& directory) {
    catalog::Catalog catalog;
    std::string error;
    if (!catalog.open(directory, error)) {
        std::fprintf(stderr, "melodex-catalog: %s\n", error.c_str());
        return 1;
    }
    const double hours = catalog.totalSeconds() / 3600.0;
    std::printf("%s: %zu segments, %zu deleted tracks\n", catalog.manifest().name().c_str(),
                catalog.manifest().segments.size(), catalog.manifest().deleted.size());
    std::printf("%zu tracks, %zu albums, %.2f h of audio, %llu landmarks, index %llu bytes (%.2f MB/h)\n",
                catalog.tracks().size(), catalog.albums().size(), hours,
                static_cast<unsigned long long>(catalog.index().entryCount()),
                static_cast<unsigned long long>(catalog.index().fileBytes()),
                hours > 0 ? static_cast<double>(catalog.index().fileBytes()) / 1e6 / hours : 0.0);
    for (const auto& t : catalog.tracks())
        if (&t - catalog.tracks().data() < 200)
            std::printf("%4u  %-40s %-28s %s\n", t.id, t.title.c_str(), t.artist.c_str(),
                    catalog.album(t.albumId) ? catalog.album(t.albumId)->title.c_str() : "");
    return 0;
}

// Splits the catalog by track for a cluster of shards and says which partition holds which
// tracks; `like`: a partitioned folder of an earlier version, whose track ranges are kept.
int partition(const std::string& source, const std::string& out, int count, const std::string& like) {
    cluster::PartitionReport report;
    std::string error;
    std::vector<uint32_t> firstTracks;
    if (!like.empty() && !cluster::readPartitionBounds(like, firstTracks, error)) {
        std::fprintf(stderr, "melodex-catalog: %s\n", error.c_str());
        return 1;
    }
    if (count < 1 ||
        !cluster::partitionCatalog(source, out, static_cast<unsigned>(count), fp::FingerprintConfig{}, report, error, firstTracks)) {
        std::fprintf(stderr, "melodex-catalog: %s\n", error.empty() ? "--partitions must be at least 1" : error.c_str());
        return 1;
    }
    for (const cluster::PartitionRange& r : report.partitions)
        std::printf("%s/%s: tracks %u-%u (%zu tracks, %llu entries)\n", out.c_str(), r.folder.c_str(), r.firstTrack,
                    r.lastTrack, r.tracks, static_cast<unsigned long long>(r.entries));
    std::printf("%s/router: the metadata; %zu hashes over the list limit\n", out.c_str(), report.overLongHashes);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    if (argc >= 3 && std::strcmp(argv[1], "info") == 0)
        return info(argv[2]);
    if ((argc == 7 || (argc == 9 && std::strcmp(argv[7], "--like") == 0)) && std::strcmp(argv[1], "partition") == 0 &&
        std::strcmp(argv[3], "-o") == 0 && std::strcmp(argv[5], "--partitions") == 0)
        return partition(argv[2], argv[4], std::atoi(argv[6]), argc == 9 ? argv[8] : "");
    if (argc >= 3 && std::strcmp(argv[1], "merge") == 0) {
        if (!catalog::CatalogBuilder::merge(argv[2], error)) {
            std::fprintf(stderr, "melodex-catalog: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "remove") == 0) {
        size_t removed = 0;
        if (!catalog::CatalogBuilder::remove(argv[2], std::vector<std::string>(argv + 3, argv + argc), removed, error)) {
            std::fprintf(stderr, "melodex-catalog: %s\n", error.c_str());
            return 1;
        }
        std::printf("melodex-catalog: %zu tracks removed\n", removed);
        return 0;
    }
    const bool adding = argc >= 3 && std::strcmp(argv[1], "add") == 0;
    if (argc < 3 || (!adding && std::strcmp(argv[1], "build") != 0))
        return usage();
    std::string input = argv[2];
    std::string output;
    catalog::BuildOptions options;
    bool quiet = false;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-o" || arg == "--output") && i + 1 < argc)
            output = argv[++i];
        else if (arg == "--seconds" && i + 1 < argc)
            options.maxSecondsPerTrack = std::atof(argv[++i]);
        else if (arg == "--threads" && i + 1 < argc)
            options.threads = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (arg == "--memory" && i + 1 < argc)
            options.memoryBudget = static_cast<size_t>(std::atof(argv[++i]) * 1e6);
        else if (arg == "--quiet")
            quiet = true;
        else
            return usage();
    }
    if (output.empty())
        return usage();
    const bool terminal = isatty(STDERR_FILENO) != 0;
    if (!quiet)
        options.progress = [terminal](const catalog::BuildProgress& p) { printProgress(p, terminal); };
    options.warning = [](const std::string& message) { std::fprintf(stderr, "melodex-catalog: skipped %s\n", message.c_str()); };

    const auto files = catalog::CatalogBuilder::findMusic(input);
    catalog::CatalogBuilder builder(fp::FingerprintConfig{}, options);
    catalog::BuildReport report;
    if (!(adding ? builder.add(files, output, report, error) : builder.build(files, output, report, error))) {
        std::fprintf(stderr, "melodex-catalog: %s\n", error.c_str());
        return 1;
    }
    const double hours = report.audioSeconds / 3600.0;
    std::printf("melodex-catalog: %zu tracks (%zu skipped), %.1f min of audio, %zu landmarks, segment %llu bytes "
                "(%.2f MB/h), %zu sorted runs, %.1f s (%.0fx real time)\n",
                report.tracks, report.skipped, report.audioSeconds / 60.0, report.landmarks,
                static_cast<unsigned long long>(report.indexBytes),
                hours > 0 ? static_cast<double>(report.indexBytes) / 1e6 / hours : 0.0, report.sortedRuns, report.wallSeconds,
                report.wallSeconds > 0 ? report.audioSeconds / report.wallSeconds : 0.0);
    return 0;
}
