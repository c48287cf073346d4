#include "PeakExtractor.h"

#include <fftw3.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>

namespace melodex::fp {
namespace {

// FFTW's planner is not thread-safe, its executor is: the service computes spectrograms on
// many pool threads at once, so plans are made once per size under a lock and then shared
// through the new-array execute functions (all buffers come from fftwf_malloc, so they have
// the alignment the plan was made for).
class PlanCache {
public:
    ~PlanCache() {
        for (auto& [size, plan] : plans_)
            fftwf_destroy_plan(plan);
    }
    fftwf_plan get(int frameSize) {
        std::lock_guard lock(mutex_);
        auto it = plans_.find(frameSize);
        if (it != plans_.end())
            return it->second;
        float* in = fftwf_alloc_real(static_cast<size_t>(frameSize));
        fftwf_complex* out = fftwf_alloc_complex(static_cast<size_t>(frameSize / 2 + 1));
        fftwf_plan plan = fftwf_plan_dft_r2c_1d(frameSize, in, out, FFTW_ESTIMATE);
        fftwf_free(in);
        fftwf_free(out);
        plans_.emplace(frameSize, plan);
        return plan;
    }

private:
    std::mutex mutex_;
    std::map<int, fftwf_plan> plans_;
};

fftwf_plan sharedPlan(int frameSize) {
    static PlanCache cache;  // destroyed at exit, after the last request has been answered
    return cache.get(frameSize);
}

struct FftwDeleter {
    void operator()(void* p) const { fftwf_free(p); }
};

// The maximum of each bin's frequency window within one row, from a sparse table: the maxima
// of windows of 1, 2, 4, ... cells, each window then the maximum of two overlapping
// power-of-two windows. The row is padded with -inf as wide as the largest radius, so that a
// window cut by the band's edge is no different from a whole one, and the bins fall into runs
// of one radius: every loop is then straight and the compiler vectorises it.
class FrequencyWindows {
public:
    FrequencyWindows(int bins, const std::vector<int>& radius) : bins_(bins) {
        for (int b = 0; b < bins; ++b) {
            const int r = radius[static_cast<size_t>(b)];
            pad_ = std::max(pad_, r);
            if (runs_.empty() || runs_.back().radius != r) {
                int k = 0;
                while ((2 << k) <= 2 * r + 1)
                    ++k;
                runs_.push_back({b, b, r, k});
                levels_ = std::max(levels_, k + 1);
            }
            runs_.back().end = b + 1;
        }
        width_ = bins + 2 * pad_;
        table_.assign(static_cast<size_t>(width_) * static_cast<size_t>(levels_), -std::numeric_limits<float>::infinity());
    }

    void max(const float* in, float* out) {
        std::copy(in, in + bins_, table_.begin() + pad_);
        for (int k = 1; k < levels_; ++k) {
            const float* prev = level(k - 1);
            float* cur = level(k);
            const int half = 1 << (k - 1);
            for (int i = 0; i + half < width_; ++i)
                cur[i] = std::max(prev[i], prev[i + half]);
        }
        for (const Run& run : runs_) {
            const float* row = level(run.level);
            const float* left = row + pad_ - run.radius;
            const float* right = row + pad_ + run.radius - (1 << run.level) + 1;
            for (int b = run.begin; b < run.end; ++b)
                out[b] = std::max(left[b], right[b]);
        }
    }

private:
    struct Run {
        int begin, end, radius, level;
    };
    float* level(int k) { return table_.data() + static_cast<size_t>(k) * static_cast<size_t>(width_); }

    int bins_, pad_ = 0, width_ = 0, levels_ = 1;
    std::vector<Run> runs_;
    std::vector<float> table_;  // the padded row, then each level; pads stay -inf
};

void elementMax(const float* a, const float* b, float* out, int count) {
    for (int i = 0; i < count; ++i)
        out[i] = std::max(a[i], b[i]);
}

// The largest of a row, over eight lanes that the compiler keeps in vector registers (a single
// running maximum is a chain it cannot split).
float rowMax(const float* x, int count) {
    float lanes[8];
    std::fill(std::begin(lanes), std::end(lanes), -std::numeric_limits<float>::infinity());
    int i = 0;
    for (; i + 8 <= count; i += 8)
        for (int j = 0; j < 8; ++j) {
            const float v = x[i + j];
            lanes[j] = lanes[j] < v ? v : lanes[j];
        }
    for (; i < count; ++i)
        lanes[0] = std::max(lanes[0], x[i]);
    return *std::max_element(std::begin(lanes), std::end(lanes));
}

// Vertex of the parabola through (-1, left), (0, centre), (1, right), clamped to +-0.5; 0 at
// an edge or on a plateau.
float vertex(float left, float centre, float right) {
    const float curvature = left - 2.0f * centre + right;
    if (curvature >= 0.0f)
        return 0.0f;
    return std::clamp(0.5f * (left - right) / curvature, -0.5f, 0.5f);
}

} // namespace

PeakExtractor::PeakExtractor(const FingerprintConfig& config) : config_(config) {}

std::vector<float> PeakExtractor::spectrogram(std::span<const float> samples, int& frameCount) const {
    const int n = config_.frameSize;
    const int hop = config_.hopSize;
    const int bins = config_.maxBin - config_.minBin + 1;
    frameCount = samples.size() < static_cast<size_t>(n)
                     ? 0
                     : static_cast<int>((samples.size() - static_cast<size_t>(n)) / static_cast<size_t>(hop)) + 1;
    std::vector<float> power(static_cast<size_t>(frameCount) * static_cast<size_t>(bins));
    if (frameCount == 0)
        return power;

    std::vector<float> window(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        window[static_cast<size_t>(i)] = 0.5f - 0.5f * std::cos(2.0f * std::numbers::pi_v<float> * static_cast<float>(i) / static_cast<float>(n));

    fftwf_plan plan = sharedPlan(n);
    std::unique_ptr<float, FftwDeleter> in(fftwf_alloc_real(static_cast<size_t>(n)));
    std::unique_ptr<fftwf_complex, FftwDeleter> out(fftwf_alloc_complex(static_cast<size_t>(n / 2 + 1)));
    for (int f = 0; f < frameCount; ++f) {
        const float* frame = samples.data() + static_cast<size_t>(f) * static_cast<size_t>(hop);
        for (int i = 0; i < n; ++i)
            in.get()[i] = frame[i] * window[static_cast<size_t>(i)];
        fftwf_execute_dft_r2c(plan, in.get(), out.get());
        float* row = power.data() + static_cast<size_t>(f) * static_cast<size_t>(bins);
        for (int b = 0; b < bins; ++b) {
            const fftwf_complex& c = out.get()[config_.minBin + b];
            row[b] = 10.0f * std::log10(c[0] * c[0] + c[1] * c[1] + 1e-12f);
        }
    }
    return power;
}

int PeakExtractor::frequencyRadius(int bin, PeakDensity density) const {
    const int atKiloHertz = density == PeakDensity::Reference ? config_.refPeakFreqRadius : config_.queryPeakFreqRadius;
    const int scaled = static_cast<int>(std::lround(atKiloHertz * static_cast<double>(bin) / 64.0));
    return std::clamp(scaled, config_.minPeakFreqRadius, config_.maxPeakFreqRadius);
}

namespace {

// One frame of PeakExtractor::salience, which advances each bin's envelope past it.
void salienceRow(const float* power, float* out, float* envelope, int bins, float sustainPenaltyDb, float onsetDecayDb) {
    for (int b = 0; b < bins; ++b) {
        float& e = envelope[b];
        out[b] = power[b] - std::max(0.0f, e - power[b] + sustainPenaltyDb);
        e = std::max(power[b], e - onsetDecayDb);
    }
}

} // namespace

std::vector<float> PeakExtractor::salience(const std::vector<float>& power, int frames) const {
    const int bins = config_.maxBin - config_.minBin + 1;
    std::vector<float> out(power.size());
    std::vector<float> envelope(static_cast<size_t>(bins), -std::numeric_limits<float>::infinity());
    for (int f = 0; f < frames; ++f) {
        const size_t row = static_cast<size_t>(f) * static_cast<size_t>(bins);
        salienceRow(power.data() + row, out.data() + row, envelope.data(), bins, config_.sustainPenaltyDb, config_.onsetDecayDb);
    }
    return out;
}

std::vector<Peak> PeakExtractor::extract(std::span<const float> samples, PeakDensity density) const {
    int frames = 0;
    const std::vector<float> power = spectrogram(samples, frames);
    return extractFromSpectrogram(power, frames, density);
}

std::vector<Peak> PeakExtractor::extractFromSpectrogram(const std::vector<float>& power, int frames,
                                                        PeakDensity density) const {
    const int bins = config_.maxBin - config_.minBin + 1;
    const bool ref = density == PeakDensity::Reference;
    const int timeRadius = ref ? config_.refPeakTimeRadius : config_.queryPeakTimeRadius;
    if (frames <= 0 || power.size() < static_cast<size_t>(frames) * static_cast<size_t>(bins))
        return {};

    std::vector<int> radius(static_cast<size_t>(bins));
    for (int b = 0; b < bins; ++b)
        radius[static_cast<size_t>(b)] = frequencyRadius(config_.minBin + b, density);
    FrequencyWindows windows(bins, radius);

    // One pass over the frames, keeping only the time neighbourhood of the frame being decided:
    // the salience and its maximum along frequency in rings of rows, and the maximum along
    // time of the latter as van Herk / Gil-Werman does it, in blocks of 2*timeRadius+1 frames:
    // the running maximum since the block's start, and for the last two blocks completed the
    // maxima from each frame to their end. A frame is decided once the frame timeRadius later
    // has been filtered; the whole-spectrogram arrays of a separable filter did not stay in cache.
    const int width = 2 * timeRadius + 1;
    const auto rows = [bins](int count) { return std::vector<float>(static_cast<size_t>(count) * static_cast<size_t>(bins)); };
    std::vector<float> riseRing = rows(width), freqMaxRing = rows(width);  // slot: frame % width
    std::vector<float> toBlockEnd = rows(2 * width);                       // slot: frame % (2 * width)
    std::vector<float> sinceBlockStart = rows(1), neighbourhoodMax = rows(1);
    const auto row = [bins](std::vector<float>& v, int slot) { return v.data() + static_cast<size_t>(slot) * static_cast<size_t>(bins); };
    std::vector<float> envelope(static_cast<size_t>(bins), -std::numeric_limits<float>::infinity());
    std::vector<float> loudestOfFrame(static_cast<size_t>(frames));
    std::vector<uint8_t> isPeak(static_cast<size_t>(bins + 7) / 8 * 8);  // read eight at a time

    std::vector<Peak> peaks;
    for (int next = 0; next < frames + timeRadius; ++next) {
        if (next < frames) {
            const int inBlock = next % width;
            float* rise = row(riseRing, inBlock);
            float* freqMax = row(freqMaxRing, inBlock);
            salienceRow(power.data() + static_cast<size_t>(next) * static_cast<size_t>(bins), rise, envelope.data(), bins,
                        config_.sustainPenaltyDb, config_.onsetDecayDb);
            windows.max(rise, freqMax);
            loudestOfFrame[static_cast<size_t>(next)] = rowMax(rise, bins);
            if (inBlock == 0)
                std::copy(freqMax, freqMax + bins, sinceBlockStart.begin());
            else
                elementMax(sinceBlockStart.data(), freqMax, sinceBlockStart.data(), bins);
            if (inBlock == width - 1 || next == frames - 1) {
                const int half = (next / width) % 2 * width;
                std::copy(freqMax, freqMax + bins, row(toBlockEnd, half + inBlock));
                for (int j = inBlock - 1; j >= 0; --j)
                    elementMax(row(freqMaxRing, j), row(toBlockEnd, half + j + 1), row(toBlockEnd, half + j), bins);
            }
        }
        const int f = next - timeRadius;
        if (f < 0)
            continue;
        const int first = std::max(0, f - timeRadius);
        const int last = std::min(frames - 1, f + timeRadius);
        const float* fromFirst = row(toBlockEnd, first % (2 * width));
        const float* timeMax = sinceBlockStart.data();  // up to `last`
        if (first / width != last / width) {
            elementMax(fromFirst, sinceBlockStart.data(), neighbourhoodMax.data(), bins);
            timeMax = neighbourhoodMax.data();
        } else if (first % width != 0) {
            timeMax = fromFirst;  // the block cut by the spectrogram's end
        }
        // The loudest cell within the time neighbourhood, over the whole band.
        const float loudest = *std::max_element(loudestOfFrame.begin() + first, loudestOfFrame.begin() + last + 1);
        const float floor = loudest - config_.peakRelativeFloorDb;
        const float* rise = row(riseRing, f % width);
        const float* p = power.data() + static_cast<size_t>(f) * static_cast<size_t>(bins);
        // Flags, then a walk over the few set ones: which cells are peaks is as good as
        // random, and a branch per cell mispredicted more than the rest of the scan cost.
        for (int b = 0; b < bins; ++b)
            isPeak[static_cast<size_t>(b)] = static_cast<uint8_t>((p[b] > config_.peakFloorDb) & (rise[b] > floor) & (rise[b] == timeMax[b]));
        static_assert(std::endian::native == std::endian::little, "the first flag of a word is its lowest byte");
        for (int word = 0; word < bins; word += 8) {
            uint64_t flags = 0;
            std::memcpy(&flags, isPeak.data() + word, sizeof flags);
            for (; flags != 0; flags &= flags - 1) {
                const int b = word + std::countr_zero(flags) / 8;
                Peak peak{f, config_.minBin + b, p[b]};
                if (f > 0 && f + 1 < frames)
                    peak.frameFraction = vertex(p[b - bins], p[b], p[b + bins]);
                if (b > 0 && b + 1 < bins)
                    peak.binFraction = vertex(p[b - 1], p[b], p[b + 1]);
                peaks.push_back(peak);
            }
        }
    }
    return peaks;
}

std::vector<Peak> PeakExtractor::undoChange(const std::vector<Peak>& peaks, Change change) const {
    std::vector<Peak> scaled;
    scaled.reserve(peaks.size());
    for (const Peak& p : peaks) {
        const double frame = (p.frame + static_cast<double>(p.frameFraction)) * change.tempo;
        const double bin = (p.bin + static_cast<double>(p.binFraction)) / change.pitch;
        Peak q{static_cast<int32_t>(std::lround(frame)), static_cast<int32_t>(std::lround(bin)), p.level};
        q.frameFraction = static_cast<float>(frame - q.frame);
        q.binFraction = static_cast<float>(bin - q.bin);
        // A peak pushed out of the band would not have been seen in the resampled audio.
        if (q.bin >= config_.minBin && q.bin <= config_.maxBin)
            scaled.push_back(q);
    }
    // Scaling keeps the order of frames but rounding can swap bins within a frame, or merge two
    // peaks into one cell (keep the louder, as the maximum filter would).
    std::sort(scaled.begin(), scaled.end(), [](const Peak& a, const Peak& b) {
        return a.frame != b.frame ? a.frame < b.frame : a.bin != b.bin ? a.bin < b.bin : a.level > b.level;
    });
    scaled.erase(std::unique(scaled.begin(), scaled.end(),
                             [](const Peak& a, const Peak& b) { return a.frame == b.frame && a.bin == b.bin; }),
                 scaled.end());
    return scaled;
}

} // namespace melodex::fp
