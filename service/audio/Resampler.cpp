#include "Resampler.h"

#include <soxr.h>

#include <cmath>

namespace melodex::audio {

std::vector<float> toMono(std::span<const float> interleaved, int channels) {
    if (channels <= 1)
        return {interleaved.begin(), interleaved.end()};
    const size_t frames = interleaved.size() / static_cast<size_t>(channels);
    std::vector<float> mono(frames);
    for (size_t f = 0; f < frames; ++f) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += interleaved[f * static_cast<size_t>(channels) + static_cast<size_t>(c)];
        mono[f] = sum / static_cast<float>(channels);
    }
    return mono;
}

std::vector<float> resample(std::span<const float> samples, double fromRate, double toRate) {
    if (fromRate == toRate || samples.empty())
        return {samples.begin(), samples.end()};
    const auto outLength = static_cast<size_t>(std::ceil(static_cast<double>(samples.size()) * toRate / fromRate));
    std::vector<float> out(outLength);
    size_t produced = 0;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_error_t error = soxr_oneshot(fromRate, toRate, 1, samples.data(), samples.size(), nullptr,
                                            out.data(), out.size(), &produced, &io, &quality, nullptr);
    if (error != nullptr)
        return {};
    out.resize(produced);
    return out;
}

StreamResampler::StreamResampler(double fromRate, double toRate) : ratio_(toRate / fromRate) {
    if (fromRate == toRate)
        return;
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_ = soxr_create(fromRate, toRate, 1, &error, &io, &quality, nullptr);
    if (error != nullptr)
        soxr_ = nullptr;
}

StreamResampler::~StreamResampler() {
    if (soxr_ != nullptr)
        soxr_delete(soxr_);
}

bool StreamResampler::push(std::span<const float> block, std::vector<float>& out) {
    if (ratio_ == 1.0) {
        out.insert(out.end(), block.begin(), block.end());
        return true;
    }
    return soxr_ != nullptr && process(block.data(), block.size(), out);
}

bool StreamResampler::finish(std::vector<float>& out) {
    return ratio_ == 1.0 || (soxr_ != nullptr && process(nullptr, 0, out));
}

bool StreamResampler::process(const float* in, size_t length, std::vector<float>& out) {
    // A null input flushes; soxr then yields output until it returns none.
    float chunk[4096];
    for (;;) {
        size_t consumed = 0;
        size_t produced = 0;
        if (soxr_process(soxr_, in, length, &consumed, chunk, std::size(chunk), &produced) != nullptr)
            return false;
        out.insert(out.end(), chunk, chunk + produced);
        if (in != nullptr) {
            in += consumed;
            length -= consumed;
            if (length == 0 && produced < std::size(chunk))
                return true;
        } else if (produced == 0) {
            return true;
        }
    }
}

} // namespace melodex::audio
