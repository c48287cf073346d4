#include "PeakExtractor.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
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

// Running maximum along a row whose window varies from cell to cell ([lo[i], hi[i]]), from a
// sparse table: the maxima of windows of 1, 2, 4, ... cells, each window then the maximum of
// two overlapping power-of-two windows. Every level is a straight loop the compiler vectorises.
struct FrequencyWindows {
    std::vector<int> lo, hi, level;
    int levels = 1;
};

void windowedMax(const float* in, float* out, int count, const FrequencyWindows& w, std::vector<float>& table) {
    table.resize(static_cast<size_t>(count) * static_cast<size_t>(w.levels));
    std::copy(in, in + count, table.begin());
    for (int k = 1; k < w.levels; ++k) {
        const float* prev = table.data() + static_cast<size_t>(k - 1) * static_cast<size_t>(count);
        float* cur = table.data() + static_cast<size_t>(k) * static_cast<size_t>(count);
        const int half = 1 << (k - 1);
        for (int i = 0; i + half < count; ++i)
            cur[i] = std::max(prev[i], prev[i + half]);
        for (int i = std::max(0, count - half); i < count; ++i)
            cur[i] = prev[i];
    }
    for (int i = 0; i < count; ++i) {
        const int k = w.level[static_cast<size_t>(i)];
        const float* row = table.data() + static_cast<size_t>(k) * static_cast<size_t>(count);
        out[i] = std::max(row[w.lo[static_cast<size_t>(i)]], row[w.hi[static_cast<size_t>(i)] - (1 << k) + 1]);
    }
}

// The same along time for a whole spectrogram at once (van Herk / Gil-Werman): running maxima
// forward and backward within blocks of 2*radius+1 frames, then one max per cell. Rows are
// contiguous, so every step is a loop over the bins that the compiler vectorises; walking each
// bin's column with a stride of a whole row was most of a query's time.
void slidingMaxAlongTime(const float* in, float* out, int frames, int bins, int radius) {
    const int width = 2 * radius + 1;
    const auto rows = [bins](size_t count) { return std::vector<float>(count * static_cast<size_t>(bins)); };
    std::vector<float> forward = rows(static_cast<size_t>(frames));   // max from block start to f
    std::vector<float> backward = rows(static_cast<size_t>(frames));  // max from f to block end
    const auto row = [bins](auto& v, int f) { return v.data() + static_cast<size_t>(f) * static_cast<size_t>(bins); };
    for (int f = 0; f < frames; ++f) {
        const float* x = in + static_cast<size_t>(f) * static_cast<size_t>(bins);
        float* g = row(forward, f);
        if (f % width == 0)
            std::copy(x, x + bins, g);
        else
            for (const float *p = row(forward, f - 1), *end = x + bins; x != end; ++x, ++p, ++g)
                *g = std::max(*x, *p);
    }
    for (int f = frames - 1; f >= 0; --f) {
        const float* x = in + static_cast<size_t>(f) * static_cast<size_t>(bins);
        float* h = row(backward, f);
        if (f % width == width - 1 || f == frames - 1)
            std::copy(x, x + bins, h);
        else
            for (const float *p = row(backward, f + 1), *end = x + bins; x != end; ++x, ++p, ++h)
                *h = std::max(*x, *p);
    }
    for (int f = 0; f < frames; ++f) {
        const int a = std::max(0, f - radius);
        const int b = std::min(frames - 1, f + radius);
        float* o = out + static_cast<size_t>(f) * static_cast<size_t>(bins);
        if (a / width != b / width) {
            const float* h = row(backward, a);
            const float* g = row(forward, b);
            for (int i = 0; i < bins; ++i)
                o[i] = std::max(h[i], g[i]);
        } else {
            // One block: [a, b] starts it (forward holds the answer) or is cut by the end of
            // the spectrogram (backward does).
            const float* src = a % width == 0 ? row(forward, b) : row(backward, a);
            std::copy(src, src + bins, o);
        }
    }
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

std::vector<float> PeakExtractor::salience(const std::vector<float>& power, int frames) const {
    const int bins = config_.maxBin - config_.minBin + 1;
    std::vector<float> out(power.size());
    std::vector<float> envelope(static_cast<size_t>(bins), -std::numeric_limits<float>::infinity());
    for (int f = 0; f < frames; ++f) {
        const float* p = power.data() + static_cast<size_t>(f) * static_cast<size_t>(bins);
        float* o = out.data() + static_cast<size_t>(f) * static_cast<size_t>(bins);
        for (int b = 0; b < bins; ++b) {
            float& e = envelope[static_cast<size_t>(b)];
            o[b] = p[b] - std::max(0.0f, e - p[b] + config_.sustainPenaltyDb);
            e = std::max(p[b], e - config_.onsetDecayDb);
        }
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

    // Separable 2-D maximum filter: along frequency within each frame, then along time.
    FrequencyWindows windows;
    for (int b = 0; b < bins; ++b) {
        const int r = frequencyRadius(config_.minBin + b, density);
        const int lo = std::max(0, b - r);
        const int hi = std::min(bins - 1, b + r);
        int k = 0;
        while ((2 << k) <= hi - lo + 1)
            ++k;
        windows.lo.push_back(lo);
        windows.hi.push_back(hi);
        windows.level.push_back(k);
        windows.levels = std::max(windows.levels, k + 1);
    }
    const std::vector<float> rise = salience(power, frames);
    std::vector<float> table;
    std::vector<float> alongFreq(power.size());
    for (int f = 0; f < frames; ++f) {
        const size_t row = static_cast<size_t>(f) * static_cast<size_t>(bins);
        windowedMax(rise.data() + row, alongFreq.data() + row, bins, windows, table);
    }
    std::vector<float> neighbourhoodMax(power.size());
    slidingMaxAlongTime(alongFreq.data(), neighbourhoodMax.data(), frames, bins, timeRadius);

    // The loudest cell within the time neighbourhood of each frame, over the whole band.
    std::vector<float> frameMax(static_cast<size_t>(frames));
    for (int f = 0; f < frames; ++f) {
        const float* row = neighbourhoodMax.data() + static_cast<size_t>(f) * static_cast<size_t>(bins);
        frameMax[static_cast<size_t>(f)] = *std::max_element(row, row + bins);
    }

    std::vector<Peak> peaks;
    for (int f = 0; f < frames; ++f) {
        const float floor = frameMax[static_cast<size_t>(f)] - config_.peakRelativeFloorDb;
        for (int b = 0; b < bins; ++b) {
            const size_t i = static_cast<size_t>(f) * static_cast<size_t>(bins) + static_cast<size_t>(b);
            if (power[i] > config_.peakFloorDb && rise[i] > floor && rise[i] == neighbourhoodMax[i]) {
                Peak p{f, config_.minBin + b, power[i]};
                if (f > 0 && f + 1 < frames)
                    p.frameFraction = vertex(power[i - static_cast<size_t>(bins)], power[i], power[i + static_cast<size_t>(bins)]);
                if (b > 0 && b + 1 < bins)
                    p.binFraction = vertex(power[i - 1], power[i], power[i + 1]);
                peaks.push_back(p);
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
