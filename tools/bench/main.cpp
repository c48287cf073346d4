// melodex-bench: recognition rates, false positives, latency, index size. Not a test; run by hand:
//   melodex-bench --catalog DIR [--build-from MUSIC_DIR] [--foreign DIR] [--clips N]
//                 [--foreign-clips N] [--seed N] [--olaf PATH_TO_olaf_c]
#include "BenchRunner.h"
#include "DistractorGenerator.h"

#include "catalog/Catalog.h"
#include "catalog/CatalogBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

using namespace melodex;

namespace {

int usage() {
    std::fprintf(stderr, "usage: melodex-bench --catalog DIR [--build-from MUSIC_DIR] [--foreign DIR] [--clips N]\n"
                         "                     [--foreign-clips N]\n"
                         "                     [--seed N] [--olaf PATH_TO_OLAF_BINARY]\n"
                         "                     [--set FIELD=VALUE ...] [--verbose 1]\n"
                         "                     [--distractors N] [--memory MB] [--build-only 1] [--only CONDITION,...]\n"
                         "                     [--condition \"NAME=MICSIM OPTIONS\" ...] [--timing-passes N]\n");
    return 2;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

std::string rate(const std::vector<bench::ClipResult>& clips, bool falsePositives) {
    if (clips.empty())
        return "-";
    size_t hits = 0;
    for (const auto& c : clips)
        hits += falsePositives ? c.matched : c.correct;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", 100.0 * static_cast<double>(hits) / static_cast<double>(clips.size()));
    return text;
}

} // namespace

int main(int argc, char** argv) {
    bench::BenchOptions options;
    std::string buildFrom;
    std::string foreignDir;
    size_t distractors = 0;
    size_t memoryBudget = size_t{1} << 30;
    bool buildOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage();
        const char* v = argv[++i];
        if (arg == "--catalog")
            options.catalogDir = v;
        else if (arg == "--build-from")
            buildFrom = v;
        else if (arg == "--foreign")
            foreignDir = v;
        else if (arg == "--distractors")
            distractors = static_cast<size_t>(std::atof(v));
        else if (arg == "--memory")
            memoryBudget = static_cast<size_t>(std::atof(v) * 1e6);
        else if (arg == "--build-only")
            buildOnly = std::string(v) != "0";
        else if (arg == "--clips")
            options.clipsPerCondition = std::max(1, std::atoi(v));
        else if (arg == "--foreign-clips")
            options.foreignClipsPerCondition = std::max(1, std::atoi(v));
        else if (arg == "--seed")
            options.seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (arg == "--set") {
            // Tuning: --set name=value for a few FingerprintConfig fields (needs --build-from).
            const std::string kv = v;
            const auto eq = kv.find('=');
            const std::string key = kv.substr(0, eq);
            const double value = eq == std::string::npos ? 0.0 : std::atof(kv.c_str() + eq + 1);
            fp::FingerprintConfig& c = options.config;
            if (key == "refFanOut") c.refFanOut = static_cast<int>(value);
            else if (key == "queryFanOut") c.queryFanOut = static_cast<int>(value);
            else if (key == "refPeakFreqRadius") c.refPeakFreqRadius = static_cast<int>(value);
            else if (key == "refPeakTimeRadius") c.refPeakTimeRadius = static_cast<int>(value);
            else if (key == "queryPeakFreqRadius") c.queryPeakFreqRadius = static_cast<int>(value);
            else if (key == "queryPeakTimeRadius") c.queryPeakTimeRadius = static_cast<int>(value);
            else if (key == "minScore") c.minScore = static_cast<int>(value);
            else if (key == "offsetTolerance") c.offsetTolerance = static_cast<int>(value);
            else if (key == "minScoreRatio") c.minScoreRatio = static_cast<float>(value);
            else if (key == "targetMaxDt") c.targetMaxDt = static_cast<int>(value);
            else if (key == "minScoreResampled") c.minScoreResampled = static_cast<int>(value);
            else if (key == "queryTimeJitter") c.plainTimeJitters = {static_cast<int>(value)};  // the plain hypothesis once
            else if (key == "pairScreenMargin") c.pairScreenMargin = static_cast<int>(value);
            else if (key == "retryFanOut") c.retryFanOut = static_cast<int>(value);
            else if (key == "retryTimeJitter") c.retryTimeJitter = static_cast<int>(value);
            else if (key == "maxHashList") c.maxHashList = static_cast<uint32_t>(value);
            else if (key == "refPairFanOut") c.refPairFanOut = static_cast<int>(value);
            else if (key == "queryPairFanOut") c.queryPairFanOut = static_cast<int>(value);
            else if (key == "retryPairFanOut") c.retryPairFanOut = static_cast<int>(value);
            else if (key == "pairTimeJitter") c.pairTimeJitter = static_cast<int>(value);
            else if (key == "pairScreenFanOut") c.pairScreenFanOut = static_cast<int>(value);
            else if (key == "pairScreenScore") c.pairScreenScore = static_cast<int>(value);
            else if (key == "pairScreenRatio") c.pairScreenRatio = static_cast<float>(value);
            else if (key == "pairsForEveryTrackBelow") c.pairsForEveryTrackBelow = static_cast<uint64_t>(value);
            else if (key == "minPairScoreRatio") c.minPairScoreRatio = static_cast<float>(value);
            else if (key == "minPairScoreRatioEveryTrack") c.minPairScoreRatioEveryTrack = static_cast<float>(value);
            else if (key == "pairCandidates") c.pairCandidates = static_cast<int>(value);
            else if (key == "minPairScore") c.minPairScore = static_cast<int>(value);
            else if (key == "minPairScoreResampled") c.minPairScoreResampled = static_cast<int>(value);
            else if (key == "minScoreFar") c.minScoreFar = static_cast<int>(value);
            else if (key == "minPairScoreFar") c.minPairScoreFar = static_cast<int>(value);
            else if (key == "farChange") c.farChange = value;
            else if (key == "minAnchors") c.minAnchors = static_cast<int>(value);
            else if (key == "minPairSupport") c.minPairSupport = static_cast<int>(value);
            else if (key == "supportSlack") c.supportSlack = static_cast<int>(value);
            else if (key == "supportStep") c.supportSteps = {-value, value};
            else if (key == "onsetDecayDb") c.onsetDecayDb = static_cast<float>(value);
            else if (key == "sustainPenaltyDb") c.sustainPenaltyDb = static_cast<float>(value);
            else if (key == "roomSeconds") c.roomSeconds = value;
            else if (key == "minAgreement") c.minAgreement = value;
            else if (key == "minAgreementLead") c.minAgreementLead = value;
            else if (key == "minHalfAgreement") c.minHalfAgreement = value;
            else if (key == "minHalfAgreementLead") c.minHalfAgreementLead = value;
            else if (key == "halfAgreementEasedFrom") c.halfAgreementEasedFrom = value;
            else if (key == "halfAgreementPerDoubling") c.halfAgreementPerDoubling = value;
            else if (key == "leastHalfAgreement") c.leastHalfAgreement = value;
            else if (key == "agreementLateFrames") c.agreementLateFrames = static_cast<int>(value);
            else if (key == "peakRelativeFloorDb") c.peakRelativeFloorDb = static_cast<float>(value);
            else if (key == "speedSpan" || key == "pitchSpan") {
                // speedSpan=N: speeds 1 +- 1 %, +- 2 % ... +- N % after the plain one; pitchSpan alike for pitches.
                std::vector<double>& factors = key == "speedSpan" ? c.speedFactors : c.pitchFactors;
                factors.clear();
                for (int k = 1; k <= static_cast<int>(value); ++k)
                    factors.insert(factors.end(), {1.0 + k / 100.0, 1.0 - k / 100.0});
            }
            else if (key == "speeds") {
                // speeds=1.01:0.99:1.03: the speed factors themselves, in the order tried.
                c.speedFactors.clear();
                for (size_t at = eq + 1; at < kv.size();) {
                    const size_t colon = std::min(kv.find(':', at), kv.size());
                    c.speedFactors.push_back(std::atof(kv.substr(at, colon - at).c_str()));
                    at = colon + 1;
                }
            }
            else if (key == "pitchSemitones") {
                // pitchSemitones=N: pitches a semitone, two ... N semitones either way, tempo kept.
                c.pitchFactors.clear();
                for (int k = 1; k <= static_cast<int>(value); ++k)
                    c.pitchFactors.insert(c.pitchFactors.end(), {std::exp2(k / 12.0), std::exp2(-k / 12.0)});
            }
            else return usage();
        } else if (arg == "--verbose")
            options.verbose = std::atoi(v);
        else if (arg == "--timing-passes")
            options.timingPasses = std::max(1, std::atoi(v));
        else if (arg == "--only") {
            // --only "clean,SNR 0 dB": the conditions to run, by name (FP rows as "FP clean").
            std::string list = v;
            for (size_t at = 0; at <= list.size();) {
                const size_t comma = std::min(list.find(',', at), list.size());
                options.only.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
        }
        else if (arg == "--condition") {
            std::string error;
            if (!bench::addCondition(v, options, error)) {
                std::fprintf(stderr, "melodex-bench: %s\n", error.c_str());
                return usage();
            }
        }
        else if (arg == "--olaf")
            options.olafBinary = v;
        else
            return usage();
    }
    if (options.catalogDir.empty())
        return usage();

    std::string error;
    double buildSpeed = 0.0;
    if (!buildFrom.empty()) {
        // The real music, then `distractors` tracks made from it (DistractorGenerator), in one
        // build within the memory budget; progress once a minute.
        const std::vector<std::string> music = catalog::CatalogBuilder::findMusic(buildFrom);
        bench::DistractorGenerator generator(options.config, options.seed);
        if (distractors > 0 && !generator.load(music, error)) {
            std::fprintf(stderr, "melodex-bench: %s\n", error.c_str());
            return 1;
        }
        catalog::BuildOptions buildOptions;
        buildOptions.memoryBudget = memoryBudget;
        buildOptions.progress = [](const catalog::BuildProgress& p) {
            static double last = -60.0;
            if (p.elapsedSeconds - last < 60.0 && p.done != p.total)
                return;
            last = p.elapsedSeconds;
            const double rate = static_cast<double>(p.done) / std::max(1e-9, p.elapsedSeconds);
            std::fprintf(stderr, "build: %zu/%zu tracks, %.1f tracks/s, %.1f h of audio, %.0f min left\n", p.done, p.total,
                         rate, p.audioSeconds / 3600.0, static_cast<double>(p.total - p.done) / rate / 60.0);
        };
        const catalog::CatalogBuilder builder(options.config, buildOptions);
        catalog::BuildReport report;
        const auto produce = [&](size_t i, catalog::TrackInput& t) {
            t = i < music.size() ? builder.fingerprintFile(music[i]) : generator.make(i - music.size());
        };
        if (!builder.produce(music.size() + distractors, produce, options.catalogDir, true, report, error)) {
            std::fprintf(stderr, "melodex-bench: %s\n", error.c_str());
            return 1;
        }
        buildSpeed = report.audioSeconds / report.wallSeconds;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("build: %zu tracks (%zu distractors), %.1f h of audio, %zu landmarks, %zu sorted runs, %.0f s, "
                    "peak memory %.0f MB\n",
                    report.tracks, distractors, report.audioSeconds / 3600.0, report.landmarks, report.sortedRuns,
                    report.wallSeconds, static_cast<double>(usage.ru_maxrss) / 1024.0);
        if (buildOnly)
            return 0;
    }
    if (!foreignDir.empty())
        options.foreignFiles = catalog::CatalogBuilder::findMusic(foreignDir);

    std::vector<bench::ConditionResult> results;
    bench::BenchRunner runner(options);
    if (!runner.run(results, error)) {
        std::fprintf(stderr, "melodex-bench: %s\n", error.c_str());
        return 1;
    }

    catalog::Catalog catalog;
    catalog.open(options.catalogDir, error);
    const double hours = catalog.totalSeconds() / 3600.0;
    // Latency is quoted over the catalog's clips and the clean foreign ones (the clips of
    // earlier tables); the degraded foreign clips, which all go through every speed retry,
    // get a line of their own.
    std::vector<double> latencies;
    std::vector<double> olafLatencies;
    std::vector<double> cpu;
    std::vector<double> olafCpu;
    std::vector<double> allLatencies;
    std::vector<double> allCpu;
    std::vector<double> postings;
    std::vector<bench::ClipResult> foreign;
    std::vector<bench::ClipResult> olafForeign;
    std::printf("\n%-50s %12s %12s %6s %18s\n", "condition (N clips)", "Melodex", "Olaf", "wrong", "CPU p50 / p99 ms");
    for (const auto& r : results) {
        char name[96];
        std::snprintf(name, sizeof name, "%s (%zu)", r.name.c_str(), r.melodex.size());
        std::vector<double> conditionCpu;
        size_t wrong = 0;
        for (const auto& c : r.melodex) {
            conditionCpu.push_back(c.cpuMilliseconds);
            wrong += !r.foreign && c.matched && !c.correct;
        }
        std::printf("%-50s %12s %12s %6zu %8.1f / %6.1f\n", name, rate(r.melodex, r.foreign).c_str(),
                    rate(r.olaf, r.foreign).c_str(), wrong, percentile(conditionCpu, 0.5), percentile(conditionCpu, 0.99));
        const bool quoted = !r.foreign || r.name == "FP clean";
        for (const auto& c : r.melodex) {
            allLatencies.push_back(c.milliseconds);
            allCpu.push_back(c.cpuMilliseconds);
            postings.push_back(static_cast<double>(c.postingsRead));
            if (quoted) {
                latencies.push_back(c.milliseconds);
                cpu.push_back(c.cpuMilliseconds);
            }
        }
        for (const auto& c : r.olaf)
            if (quoted) {
                olafLatencies.push_back(c.milliseconds);
                olafCpu.push_back(c.cpuMilliseconds);
            }
        if (r.foreign) {
            foreign.insert(foreign.end(), r.melodex.begin(), r.melodex.end());
            olafForeign.insert(olafForeign.end(), r.olaf.begin(), r.olaf.end());
        }
    }
    if (!foreign.empty()) {
        char name[64];
        std::snprintf(name, sizeof name, "FP all (%zu)", foreign.size());
        std::printf("%-50s %12s %12s\n", name, rate(foreign, true).c_str(), rate(olafForeign, true).c_str());
    }
    std::printf("%-26s %9.1f ms %9.1f ms\n", "query p50", percentile(latencies, 0.5), percentile(olafLatencies, 0.5));
    std::printf("%-26s %9.1f ms %9.1f ms\n", "query p99", percentile(latencies, 0.99), percentile(olafLatencies, 0.99));
    std::printf("%-26s %9.1f ms %9.1f ms\n", "query p50 (CPU time)", percentile(cpu, 0.5), percentile(olafCpu, 0.5));
    std::printf("%-26s %9.1f ms %9.1f ms\n", "query p99 (CPU time)", percentile(cpu, 0.99), percentile(olafCpu, 0.99));
    if (allLatencies.size() > latencies.size()) {
        std::printf("%-26s %4.1f / %.1f ms\n", "p50 / p99 with degraded FP", percentile(allLatencies, 0.5),
                    percentile(allLatencies, 0.99));
        std::printf("%-26s %4.1f / %.1f ms\n", "CPU p50 / p99, every clip", percentile(allCpu, 0.5), percentile(allCpu, 0.99));
    }
    std::printf("%-26s %.0f / %.0f (%.4f %% / %.4f %% of the index)\n", "postings read p50 / p99", percentile(postings, 0.5),
                percentile(postings, 0.99), 100.0 * percentile(postings, 0.5) / static_cast<double>(catalog.index().entryCount()),
                100.0 * percentile(postings, 0.99) / static_cast<double>(catalog.index().entryCount()));
    char olafIndex[32] = "-";
    if (runner.olafDatabaseBytes > 0)
        std::snprintf(olafIndex, sizeof olafIndex, "%.2f MB", static_cast<double>(runner.olafDatabaseBytes) / 1e6 / hours);
    std::printf("%-26s %9.2f MB %12s\n", "index per hour", static_cast<double>(catalog.index().fileBytes()) / 1e6 / hours, olafIndex);
    if (buildSpeed > 0)
        std::printf("%-26s %10.0f x %12s\n", "build speed", buildSpeed, "-");
    std::printf("%zu clips of silent passages left out\n", runner.silentClips);
    if (!options.olafBinary.empty())
        std::printf("Olaf's latency is its whole command-line process (start, LMDB open, query)\n");
    std::printf("catalog: %zu tracks, %.2f h; rates are top-1 correct, FP rows are any match\n", catalog.tracks().size(), hours);
    return 0;
}
