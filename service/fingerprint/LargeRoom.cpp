#include "LargeRoom.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <random>

namespace melodex::fp {
namespace {

double energy(std::span<const float> x) {
    double sum = 0.0;
    for (const float v : x)
        sum += static_cast<double>(v) * v;
    return sum;
}

struct PlanDeleter {
    void operator()(fftwf_plan_s* plan) const;
};
using Plan = std::unique_ptr<fftwf_plan_s, PlanDeleter>;

// FFTW's planner is not thread-safe: plans are made and destroyed under one lock.
std::mutex& plannerMutex() {
    static std::mutex mutex;
    return mutex;
}

void PlanDeleter::operator()(fftwf_plan_s* plan) const {
    std::lock_guard lock(plannerMutex());
    fftwf_destroy_plan(plan);
}

} // namespace

std::vector<float> largeRoomResponse(const FingerprintConfig& config) {
    const double rate = config.sampleRate;
    const auto length = static_cast<size_t>(config.roomSeconds * rate);
    const auto gap = static_cast<size_t>(0.010 * rate);
    std::vector<float> h(std::max(length, gap + 1), 0.0f);
    std::mt19937 random(20261207u);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    for (size_t n = gap; n < h.size(); ++n)
        h[n] = gauss(random) * static_cast<float>(std::pow(10.0, -3.0 * static_cast<double>(n) / (config.roomSeconds * rate)));
    const double tail = energy(h);
    const auto scale = static_cast<float>(tail > 0.0 ? std::sqrt(config.roomTailToDirect / tail) : 0.0);
    for (float& v : h)
        v *= scale;
    h[0] = 1.0f;
    return h;
}

std::vector<float> convolve(std::span<const float> x, std::span<const float> h) {
    if (x.empty() || h.empty())
        return std::vector<float>(x.size(), 0.0f);
    size_t n = 1;
    while (n < x.size() + h.size())
        n <<= 1;
    std::vector<float> a(n, 0.0f), b(n, 0.0f);
    std::copy(x.begin(), x.end(), a.begin());
    std::copy(h.begin(), h.end(), b.begin());
    std::vector<fftwf_complex> fa(n / 2 + 1), fb(n / 2 + 1);
    Plan forwardA, forwardB, inverse;
    {
        std::lock_guard lock(plannerMutex());
        forwardA.reset(fftwf_plan_dft_r2c_1d(static_cast<int>(n), a.data(), fa.data(), FFTW_ESTIMATE));
        forwardB.reset(fftwf_plan_dft_r2c_1d(static_cast<int>(n), b.data(), fb.data(), FFTW_ESTIMATE));
        inverse.reset(fftwf_plan_dft_c2r_1d(static_cast<int>(n), fa.data(), a.data(), FFTW_ESTIMATE));
    }
    fftwf_execute(forwardA.get());
    fftwf_execute(forwardB.get());
    for (size_t i = 0; i < fa.size(); ++i) {
        const float re = fa[i][0] * fb[i][0] - fa[i][1] * fb[i][1];
        const float im = fa[i][0] * fb[i][1] + fa[i][1] * fb[i][0];
        fa[i][0] = re;
        fa[i][1] = im;
    }
    fftwf_execute(inverse.get());
    std::vector<float> y(x.size());
    for (size_t i = 0; i < y.size(); ++i)
        y[i] = a[i] / static_cast<float>(n);
    return y;
}

std::vector<float> reverberate(std::span<const float> samples, std::span<const float> room) {
    std::vector<float> wet = convolve(samples, room);
    const double dry = energy(samples);
    const double got = energy(wet);
    const auto gain = static_cast<float>(got > 0.0 ? std::sqrt(dry / got) : 0.0);
    for (float& v : wet)
        v *= gain;
    return wet;
}

std::vector<float> heardAcrossLargeRoom(std::span<const float> samples, const FingerprintConfig& config) {
    return reverberate(samples, largeRoomResponse(config));
}

} // namespace melodex::fp
