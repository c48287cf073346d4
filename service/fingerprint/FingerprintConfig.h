// All settings of the fingerprinter in one documented place (one config struct, as in Olaf).
// The values are tuned for what the phone sends: 8000 Hz mono, band-limited by the
// handset's microphone and codec to roughly 300-3400 Hz.
#pragma once

#include <cstdint>
#include <vector>

namespace melodex::fp {

struct FingerprintConfig {
    // --- Signal (what is indexed is the phone's bandwidth) ---
    int sampleRate = 8000;
    int frameSize = 512;   // 64 ms Hann window, 15.6 Hz bins
    int hopSize = 128;     // 16 ms between frames: 62.5 frames a second
    int minBin = 18;       // ~280 Hz: below it the handset microphone hears little
    int maxBin = 224;      // 3500 Hz: above it the GSM/phone band ends

    // --- Peaks (Wang 2003: spectrogram maxima of their neighbourhood) ---
    // The catalog keeps sparse peaks (a large neighbourhood); a query keeps denser ones, so that
    // every reference peak is also a query peak and the index stays small.
    int refPeakFreqRadius = 9;     // bins either side
    int refPeakTimeRadius = 20;    // frames either side (0.32 s)
    int queryPeakFreqRadius = 6;
    int queryPeakTimeRadius = 10;
    float peakFloorDb = -80.0f;    // log-magnitude below which a cell is silence, not a peak

    // --- Landmarks (anchor peak paired with later peaks in a target zone) ---
    int targetMinDt = 1;           // frames
    int targetMaxDt = 63;          // frames (~1 s); fits the 6-bit dt field of a hash
    int targetMaxDf = 63;          // bins either way; fits the 7-bit df field
    int refFanOut = 7;             // pairs per anchor in the catalog (1.6 MB per hour)
    int queryFanOut = 24;          // pairs per anchor in a query (a superset of the catalog's)
    int queryTimeJitter = 1;       // a query pair also looks up frame differences this far off

    // --- Matching (time-offset consistency) ---
    int offsetTolerance = 2;       // frames either side of an offset that still count for it
    int minScore = 15;             // aligned landmark hits needed to call a match
    int minScoreResampled = 24;    // the same for a speed other than 1: every extra speed tried
                                   // is another chance for music not in the catalog to match
    float minScoreRatio = 2.5f;    // best score over the runner-up track's score
    double maxQuerySeconds = 30.0; // longer uploads are cut to this
    // Speed factors tried in order when the previous one found nothing: a clip played 3 % fast
    // is undone by moving its peaks where resampling it by 1.03 would put them (3 % later in
    // time, 3 % lower in frequency; PeakExtractor::undoSpeed).
    std::vector<double> speedFactors{1.0, 1.01, 0.99, 1.02, 0.98, 1.03, 0.97};

    // --- Index layout: 21-bit hashes, 12-bit track ids, 20-bit frame times ---
    static constexpr int kHashBits = 21;
    static constexpr int kTrackBits = 12;
    static constexpr int kTimeBits = 20;
};

} // namespace melodex::fp
