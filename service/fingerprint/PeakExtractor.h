// Stage 1 of the fingerprinter: the spectral peaks of Wang 2003 ("constellation map").
// A peak is a spectrogram cell that is the largest of its time-frequency neighbourhood.
#pragma once

#include "FingerprintConfig.h"

#include <cstdint>
#include <span>
#include <vector>

namespace melodex::fp {

struct Peak {
    int32_t frame;  // STFT frame number (hop = config.hopSize samples)
    int32_t bin;    // FFT bin, within [config.minBin, config.maxBin]
    float level = 0.0f;  // log power in dB, used only to rank peaks
    // Where between cells the peak really lies (parabolic fit of the log power, within
    // +-0.5): a speed hypothesis scales these finer positions, so rounding the scaled peak
    // lands where a peak of the resampled audio would have been (undoChange).
    float frameFraction = 0.0f;
    float binFraction = 0.0f;
};

enum class PeakDensity { Reference, Query };

class PeakExtractor {
public:
    explicit PeakExtractor(const FingerprintConfig& config);

    // Peaks of mono audio at config.sampleRate, sorted by frame, then bin.
    std::vector<Peak> extract(std::span<const float> samples, PeakDensity density) const;
    // The same from a spectrogram() of `frames` rows (the benchmark derives distractor tracks
    // from spectrograms, without audio).
    std::vector<Peak> extractFromSpectrogram(const std::vector<float>& power, int frames, PeakDensity density) const;

    // What peaks are the maxima of: the log power, less a penalty where a cell does not rise
    // above the decaying envelope of its bin's past (a note held, a room's tail). A held note
    // then peaks where it starts, not at whichever frame of its flat top is a hair louder,
    // which any noise would move.
    std::vector<float> salience(const std::vector<float>& power, int frames) const;

    // Bins either side that a peak at `bin` must exceed: a constant share of an octave.
    int frequencyRadius(int bin, PeakDensity density) const;

    // The peaks the recording would have given had `change` been undone (for a speed, the
    // resampling that undoes a playback that many times too fast): time stretches by its
    // tempo, frequency shrinks by its pitch. Costs nothing next to resampling and a new STFT,
    // which is what lets the Identifier try many changes within one query's time. Sorted like
    // extract().
    std::vector<Peak> undoChange(const std::vector<Peak>& peaks, Change change) const;

    // Log-power spectrogram, frames x (maxBin - minBin + 1), row-major. Exposed for tests.
    std::vector<float> spectrogram(std::span<const float> samples, int& frameCount) const;

private:
    FingerprintConfig config_;
};

} // namespace melodex::fp
