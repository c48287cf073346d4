#include "BenchRunner.h"

#include "Degradations.h"
#include "OlafRunner.h"
#include "Options.h"
#include "audio/AudioFile.h"
#include "audio/UploadDecoder.h"
#include "catalog/Catalog.h"
#include "fingerprint/Identifier.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <time.h>

namespace melodex::bench {

namespace {

// How a match was made, where not by triples: by pairs, or by the last look (with its figure).
std::string howMatched(const fp::Identification& id) {
    if (id.agreement.whole != 0.0 || id.agreement.lesserHalf != 0.0) {
        char look[64];
        std::snprintf(look, sizeof look, " (agreement %.2f, %.2f in each half)", id.agreement.whole, id.agreement.lesserHalf);
        return look;
    }
    return id.byPairs ? " (pairs)" : "";
}

} // namespace

std::vector<Condition> standardConditions() {
    auto with = [](auto change) {
        micsim::MicSettings s;
        change(s);
        return s;
    };
    // One hall for every clip, as one measured response would be.
    static const std::vector<float> hall = micsim::hallResponse(2.3, 1);
    return {
        {"clean", with([](auto&) {})},
        {"SNR 10 dB", with([](auto& s) { s.snrDb = 10; })},
        {"SNR 5 dB", with([](auto& s) { s.snrDb = 5; })},
        {"SNR 0 dB", with([](auto& s) { s.snrDb = 0; })},
        {"SNR -5 dB", with([](auto& s) { s.snrDb = -5; })},
        {"reverb 0.5 s", with([](auto& s) { s.reverb = true; })},
        {"GSM + 5 dB", with([](auto& s) { s.gsm = true, s.snrDb = 5; })},
        {"speed +1 %", with([](auto& s) { s.speed = 1.01; })},
        {"speed -1 %", with([](auto& s) { s.speed = 0.99; })},
        {"speed +3 %", with([](auto& s) { s.speed = 1.03; })},
        {"speed -3 %", with([](auto& s) { s.speed = 0.97; })},
        // The world beyond a quiet room: the strongest settings the service is meant to survive.
        {"speed +5 %", with([](auto& s) { s.speed = 1.05; })},
        {"speed -5 %", with([](auto& s) { s.speed = 0.95; })},
        {"pitch +1 semitone", with([](auto& s) { s.pitchSemitones = 1; })},
        {"pitch -1 semitone", with([](auto& s) { s.pitchSemitones = -1; })},
        {"hall 2.3 s + speaker + chatter + noise 10 dB", with([](auto& s) {
             s.speaker = true, s.room = hall, s.babbleDb = 10, s.snrDb = 10;
         })},
        {"pink noise -5 dB", with([](auto& s) { s.noise = micsim::MicSettings::Noise::pink, s.snrDb = -5; })},
        {"GSM after noise 0 dB", with([](auto& s) { s.gsm = true, s.snrDb = 0; })},
        {"5 s of music + SNR 10 dB", with([](auto& s) { s.musicSeconds = 5, s.snrDb = 10; })},
    };
}

std::vector<Condition> foreignConditions(std::vector<Condition> all) {
    for (Condition& c : all)
        c.name = "FP " + c.name;
    return all;
}

std::vector<Condition> conditionsOf(const BenchOptions& options) {
    std::vector<Condition> all = standardConditions();
    all.insert(all.end(), options.extraConditions.begin(), options.extraConditions.end());
    return all;
}

bool addCondition(const std::string& text, BenchOptions& options, std::string& error) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        error = "a condition is NAME=OPTIONS: " + text;
        return false;
    }
    Condition condition{text.substr(0, eq), {}};
    const std::vector<Condition> played = conditionsOf(options);
    if (std::any_of(played.begin(), played.end(), [&](const Condition& c) { return c.name == condition.name; })) {
        error = "a condition named \"" + condition.name + "\" is played already";
        return false;
    }
    std::vector<std::string> args;
    std::istringstream words(text.substr(eq + 1));
    for (std::string word; words >> word;)
        args.push_back(word);
    if (!micsim::parseDegradations(args, condition.settings, error)) {
        error = condition.name + ": " + error;
        return false;
    }
    options.extraConditions.push_back(std::move(condition));
    return true;
}

bool isDistractorPath(const std::string& path) { return path.starts_with("distractor:"); }

BenchRunner::BenchRunner(BenchOptions options) : options_(std::move(options)) {}

namespace {

double threadCpuMilliseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// One query as the service serves it: decode the client's body, identify.
struct TimedQuery {
    fp::Identification id;
    double milliseconds = 0.0;
    double cpuMilliseconds = 0.0;
};

TimedQuery timeQuery(const audio::UploadDecoder& decoder, const fp::Identifier& identifier, const std::string& body) {
    TimedQuery q;
    const double cpuStart = threadCpuMilliseconds();
    const auto start = std::chrono::steady_clock::now();
    const audio::DecodedUpload upload = decoder.decode(body);
    q.id = identifier.identify(upload.samples);
    q.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    q.cpuMilliseconds = threadCpuMilliseconds() - cpuStart;
    return q;
}

struct Job {
    size_t condition;     // index into the results (catalog conditions, then foreign ones)
    bool foreign;
    size_t track;         // catalog track, or foreign file index
    double at;
    uint32_t seed;
};

} // namespace

bool BenchRunner::run(std::vector<ConditionResult>& results, std::string& error) {
    catalog::Catalog catalog;
    if (!catalog.open(options_.catalogDir, error))
        return false;
    const fp::FingerprintConfig& config = options_.config;
    const fp::Identifier identifier(config, catalog.index());
    const audio::UploadDecoder decoder({config.maxQuerySeconds});

    std::unique_ptr<OlafRunner> olaf;
    if (!options_.olafBinary.empty()) {
        olaf = std::make_unique<OlafRunner>(options_.olafBinary);
        std::vector<std::string> paths;
        for (const auto& t : catalog.tracks())
            paths.push_back(t.path);
        std::fprintf(stderr, "bench: indexing %zu tracks with Olaf\n", paths.size());
        if (!olaf->index(paths, error))
            return false;
    }

    const auto chosen = [this](std::vector<Condition> all) {
        if (!options_.only.empty())
            std::erase_if(all, [this](const Condition& c) {
                return std::find(options_.only.begin(), options_.only.end(), c.name) == options_.only.end();
            });
        return all;
    };
    const std::vector<Condition> all = conditionsOf(options_);
    const auto catalogConditions = chosen(all);
    std::vector<Condition> conditions = catalogConditions;
    if (!options_.foreignFiles.empty())
        for (const Condition& c : chosen(foreignConditions(all)))
            conditions.push_back(c);
    std::vector<size_t> real;
    for (size_t t = 0; t < catalog.tracks().size(); ++t)
        if (!isDistractorPath(catalog.tracks()[t].path))
            real.push_back(t);
    if (real.empty()) {
        error = "the catalog holds no real music to play";
        return false;
    }
    results.clear();
    for (size_t c = 0; c < conditions.size(); ++c)
        results.push_back(ConditionResult{conditions[c].name, c >= catalogConditions.size(), {}, {}});

    // Draw every clip first, then decode each track once for all of its clips.
    std::mt19937 random(options_.seed);
    std::vector<Job> jobs;
    for (size_t c = 0; c < catalogConditions.size(); ++c)
        for (int i = 0; i < options_.clipsPerCondition; ++i) {
            const size_t track = real[std::uniform_int_distribution<size_t>(0, real.size() - 1)(random)];
            const double usable = std::max(0.0, catalog.tracks()[track].seconds - 12.0);
            jobs.push_back(Job{c, false, track, std::uniform_real_distribution<double>(0.0, usable)(random),
                               static_cast<uint32_t>(random())});
        }
    // Foreign clips: the position is drawn once the file is loaded (its length is not known
    // before). Drawn after the catalog clips, so adding them leaves those unchanged.
    for (size_t c = catalogConditions.size(); c < conditions.size(); ++c)
        for (int i = 0; i < options_.foreignClipsPerCondition; ++i)
            jobs.push_back(Job{c, true, std::uniform_int_distribution<size_t>(0, options_.foreignFiles.size() - 1)(random),
                               -1.0, static_cast<uint32_t>(random())});
    std::stable_sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) {
        return std::make_pair(a.foreign, a.track) < std::make_pair(b.foreign, b.track);
    });

    // With more than one timing pass, the clients' bodies are kept to be queried again.
    struct Timed {
        std::string body;
        size_t condition;
        size_t clip;
    };
    std::vector<Timed> timed;
    audio::AudioFile file;
    std::string loaded;
    size_t done = 0;
    silentClips = 0;
    for (const Job& job : jobs) {
        const bool foreign = job.foreign;
        const std::string path = foreign ? options_.foreignFiles[job.track] : catalog.tracks()[job.track].path;
        if (path != loaded) {
            if (!file.load(path, error))
                return false;
            loaded = path;
        }
        micsim::MicSettings settings = conditions[job.condition].settings;
        settings.seed = job.seed;
        settings.atSeconds = job.at;
        if (foreign) {
            const double usable = std::max(0.0, static_cast<double>(file.samples.size()) / file.sampleRate - 12.0);
            settings.atSeconds = std::uniform_real_distribution<double>(0.0, usable)(random);
        }
        // A clip of (near) silence holds no music to recognise (the catalog's "silence" track,
        // fades): it is left out of the rates and counted.
        {
            const auto first = std::min(file.samples.size(), static_cast<size_t>(settings.atSeconds * file.sampleRate));
            const auto last = std::min(file.samples.size(), first + static_cast<size_t>(11.0 * file.sampleRate));
            double energy = 0.0;
            for (size_t i = first; i < last; ++i)
                energy += static_cast<double>(file.samples[i]) * file.samples[i];
            const double rmsDb = 10.0 * std::log10(energy / static_cast<double>(std::max<size_t>(1, last - first)) + 1e-20);
            if (rmsDb < -50.0) {
                ++silentClips;
                continue;
            }
        }
        std::vector<float> clip;
        if (!micsim::MicSimulator(settings).simulate(file.samples, file.sampleRate, clip, error))
            return false;

        std::string body = micsim::MicSimulator::clientImage(clip);
        const TimedQuery query = timeQuery(decoder, identifier, body);
        const fp::Identification& id = query.id;
        const double ms = query.milliseconds;
        const double cpuMs = query.cpuMilliseconds;
        ConditionResult& r = results[job.condition];
        const uint32_t want = foreign ? 0 : catalog.tracks()[job.track].id;
        r.melodex.push_back(ClipResult{id.matched, !foreign && id.matched && id.track == want, ms, cpuMs, id.postingsRead});
        if (options_.timingPasses > 1)
            timed.push_back(Timed{std::move(body), job.condition, r.melodex.size() - 1});
        if (options_.verbose && (foreign ? id.matched : id.track != want || !id.matched))
            std::fprintf(stderr, "\n%s %s at %.1f: %s track %u score %d runner-up %d anchors %d hashes %d support %d speed %.2f pitch %.2f%s\n",
                         conditions[job.condition].name.c_str(), path.c_str(), settings.atSeconds,
                         id.matched ? "matched" : "missed", id.track, id.score, id.runnerUpScore, id.anchors, id.hashes, id.support, id.speed, id.pitch,
                         howMatched(id).c_str());
        if (options_.verbose > 1)
            std::fprintf(stderr, "%s %s at %.1f: %s score %d runner-up %d anchors %d hashes %d support %d speed %.2f pitch %.2f jitter %d%s cpu %.1f ms\n",
                         conditions[job.condition].name.c_str(), path.c_str(), settings.atSeconds,
                         id.matched ? "matched" : "missed", id.score, id.runnerUpScore, id.anchors, id.hashes, id.support, id.speed, id.pitch,
                         id.timeJitter, howMatched(id).c_str(), cpuMs);
        if (olaf) {
            double olafMs = 0.0;
            double olafCpuMs = 0.0;
            const int olafTrack = olaf->query(clip, olafMs, olafCpuMs);
            r.olaf.push_back(ClipResult{olafTrack >= 0, !foreign && olafTrack == static_cast<int>(job.track), olafMs, olafCpuMs});
        }
        if (++done % 20 == 0)
            std::fprintf(stderr, "\rbench: %zu/%zu clips", done, jobs.size());
    }
    std::fprintf(stderr, "\n");
    // Each pass queries every clip once more, in the first pass's order, so no clip is timed
    // straight after itself: back to back, as a busy service meets its requests. A clip keeps
    // the least time of its passes: what the service costs, without the moments another
    // process held the core.
    for (int pass = 2; pass <= options_.timingPasses; ++pass) {
        for (const Timed& t : timed) {
            const TimedQuery again = timeQuery(decoder, identifier, t.body);
            ClipResult& clip = results[t.condition].melodex[t.clip];
            clip.milliseconds = std::min(clip.milliseconds, again.milliseconds);
            clip.cpuMilliseconds = std::min(clip.cpuMilliseconds, again.cpuMilliseconds);
        }
        std::fprintf(stderr, "bench: timing pass %d of %d done\n", pass, options_.timingPasses);
    }
    if (olaf)
        olafDatabaseBytes = olaf->databaseBytes();
    return true;
}

} // namespace melodex::bench
