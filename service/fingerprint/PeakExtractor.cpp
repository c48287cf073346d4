#include "PeakExtractor.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <deque>
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

// Running maximum over a window of 2*radius+1 values along one axis (monotonic deque, O(n)).
void slidingMax(const float* in, float* out, int count, int stride, int radius) {
    std::deque<int> window;  // indices whose values decrease from front to back
    int next = 0;
    for (int i = 0; i < count; ++i) {
        int hi = std::min(count - 1, i + radius);
        for (; next <= hi; ++next) {
            while (!window.empty() && in[window.back() * stride] <= in[next * stride])
                window.pop_back();
            window.push_back(next);
        }
        while (window.front() < i - radius)
            window.pop_front();
        out[i * stride] = in[window.front() * stride];
    }
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

std::vector<Peak> PeakExtractor::extract(std::span<const float> samples, PeakDensity density) const {
    int frames = 0;
    const std::vector<float> power = spectrogram(samples, frames);
    const int bins = config_.maxBin - config_.minBin + 1;
    const bool ref = density == PeakDensity::Reference;
    const int freqRadius = ref ? config_.refPeakFreqRadius : config_.queryPeakFreqRadius;
    const int timeRadius = ref ? config_.refPeakTimeRadius : config_.queryPeakTimeRadius;

    // Separable 2-D maximum filter: along frequency within each frame, then along time.
    std::vector<float> alongFreq(power.size());
    for (int f = 0; f < frames; ++f) {
        const size_t row = static_cast<size_t>(f) * static_cast<size_t>(bins);
        slidingMax(power.data() + row, alongFreq.data() + row, bins, 1, freqRadius);
    }
    std::vector<float> neighbourhoodMax(power.size());
    for (int b = 0; b < bins; ++b)
        slidingMax(alongFreq.data() + b, neighbourhoodMax.data() + b, frames, bins, timeRadius);

    std::vector<Peak> peaks;
    for (int f = 0; f < frames; ++f) {
        for (int b = 0; b < bins; ++b) {
            const size_t i = static_cast<size_t>(f) * static_cast<size_t>(bins) + static_cast<size_t>(b);
            if (power[i] > config_.peakFloorDb && power[i] == neighbourhoodMax[i])
                peaks.push_back(Peak{f, config_.minBin + b, power[i]});
        }
    }
    return peaks;
}

} // namespace melodex::fp
