// melodex-catalog: builds the catalog that melodex-idd serves.
//   melodex-catalog build MUSIC_DIR -o CATALOG_DIR [--seconds N] [--threads N] [--quiet]
//   melodex-catalog info CATALOG_DIR
#include "catalog/Catalog.h"
#include "catalog/CatalogBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

using namespace melodex;

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: melodex-catalog build MUSIC_DIR -o CATALOG_DIR [--seconds N] [--threads N] [--quiet]\n"
                 "       melodex-catalog info CATALOG_DIR\n");
    return 2;
}

void drawBar(size_t done, size_t total, const std::string& file) {
    const int width = 30;
    const int filled = static_cast<int>(static_cast<double>(done) * width / static_cast<double>(total));
    std::string name = file.substr(file.find_last_of('/') + 1);
    if (name.size() > 32)
        name = name.substr(0, 29) + "...";
    std::fprintf(stderr, "\r[%s%s] %zu/%zu %-32s", std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(width - filled), '-').c_str(), done, total, name.c_str());
    if (done == total)
        std::fputc('\n', stderr);
}

int info(const std::string& directory) {
    catalog::Catalog catalog;
    std::string error;
    if (!catalog.open(directory, error)) {
        std::fprintf(stderr, "melodex-catalog: %s\n", error.c_str());
        return 1;
    }
    const double hours = catalog.totalSeconds() / 3600.0;
    std::printf("%zu tracks, %zu albums, %.2f h of audio, %llu landmarks, index %llu bytes (%.2f MB/h)\n",
                catalog.tracks().size(), catalog.albums().size(), hours,
                static_cast<unsigned long long>(catalog.index().entryCount()),
                static_cast<unsigned long long>(catalog.index().fileBytes()),
                hours > 0 ? static_cast<double>(catalog.index().fileBytes()) / 1e6 / hours : 0.0);
    for (const auto& t : catalog.tracks())
        std::printf("%4u  %-40s %-28s %s\n", t.id, t.title.c_str(), t.artist.c_str(),
                    catalog.album(t.albumId) ? catalog.album(t.albumId)->title.c_str() : "");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "info") == 0)
        return info(argv[2]);
    if (argc < 3 || std::strcmp(argv[1], "build") != 0)
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
        else if (arg == "--quiet")
            quiet = true;
        else
            return usage();
    }
    if (output.empty())
        return usage();
    if (!quiet && isatty(STDERR_FILENO))
        options.progress = drawBar;
    else if (!quiet)
        options.progress = [](size_t done, size_t total, const std::string& file) {
            std::fprintf(stderr, "%zu/%zu %s\n", done, total, file.c_str());
        };
    options.warning = [](const std::string& message) { std::fprintf(stderr, "melodex-catalog: skipped %s\n", message.c_str()); };

    const auto files = catalog::CatalogBuilder::findMusic(input);
    catalog::CatalogBuilder builder(fp::FingerprintConfig{}, options);
    catalog::BuildReport report;
    std::string error;
    if (!builder.build(files, output, report, error)) {
        std::fprintf(stderr, "melodex-catalog: %s\n", error.c_str());
        return 1;
    }
    const double hours = report.audioSeconds / 3600.0;
    std::printf("melodex-catalog: %zu tracks (%zu skipped), %.1f min of audio, %zu landmarks, index %llu bytes "
                "(%.2f MB/h), %.1f s (%.0fx real time)\n",
                report.tracks, report.skipped, report.audioSeconds / 60.0, report.landmarks,
                static_cast<unsigned long long>(report.indexBytes),
                hours > 0 ? static_cast<double>(report.indexBytes) / 1e6 / hours : 0.0, report.wallSeconds,
                report.wallSeconds > 0 ? report.audioSeconds / report.wallSeconds : 0.0);
    return 0;
}
