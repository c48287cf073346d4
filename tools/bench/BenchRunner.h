// Runs the benchmark's clips: every condition (clean, noise, reverb, GSM, speed) over N random
// positions in the catalog's tracks, plus clips of music that is not in the catalog.
#pragma once

#include "MicSimulator.h"
#include "fingerprint/FingerprintConfig.h"

#include <string>
#include <vector>

namespace melodex::bench {

struct Condition {
    std::string name;
    micsim::MicSettings settings;
};

struct ClipResult {
    bool matched = false;
    bool correct = false;
    double milliseconds = 0.0;     // wall clock
    double cpuMilliseconds = 0.0;  // CPU time of the query alone (robust to a busy machine)
    size_t postingsRead = 0;       // index entries read by the query, every speed tried
};

struct ConditionResult {
    std::string name;
    bool foreign = false;  // clips of music not in the catalog: the rate is of any match
    std::vector<ClipResult> melodex;
    std::vector<ClipResult> olaf;  // empty when Olaf is not run
};

struct BenchOptions {
    std::string catalogDir;
    std::vector<std::string> foreignFiles;  // music not in the catalog
    std::string olafBinary;                 // empty: Olaf is not run
    int clipsPerCondition = 50;
    int foreignClipsPerCondition = 50;      // per condition of foreignConditions()
    uint32_t seed = 7;
    fp::FingerprintConfig config;           // the catalog must have been built with it
    int verbose = 0;                        // 1: one line per missed or false clip; 2: every clip
    std::vector<std::string> only;          // the conditions to run (by name); empty: all
    std::vector<Condition> extraConditions; // played after the standard ones (--condition)
    int timingPasses = 1;                   // queries of each clip; its times the least of them
};

// Tracks the benchmark plays clips of: the catalog's real music, not its distractors.
bool isDistractorPath(const std::string& path);

std::vector<Condition> standardConditions();

// The conditions foreign clips are played under: every one of `all` (a room, a codec, a speed
// or pitch change must not turn music that is not in the catalog into a match), named "FP ...".
std::vector<Condition> foreignConditions(std::vector<Condition> all);

// The conditions a run plays: the standard ones, then the options' own.
std::vector<Condition> conditionsOf(const BenchOptions& options);

// Adds a condition of the command line, "NAME=OPTIONS", to options.extraConditions: the options
// are melodex-micsim's degradations, separated by spaces ("hall + crowd=--room hall:2.3
// --babble 10"). Refused when it cannot be read, or when a condition of that name is played
// already (rows are told apart, and chosen with --only, by their names).
bool addCondition(const std::string& text, BenchOptions& options, std::string& error);

class BenchRunner {
public:
    explicit BenchRunner(BenchOptions options);
    bool run(std::vector<ConditionResult>& results, std::string& error);
    size_t silentClips = 0;  // clips left out because their source is silent
    uint64_t olafDatabaseBytes = 0;

private:
    BenchOptions options_;
};

} // namespace melodex::bench
