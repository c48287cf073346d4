// Sample-rate conversion through libsoxr, and the down-mix that precedes it. Everything the
// fingerprinter sees is mono at 8000 Hz (the phone's bandwidth is what is indexed).
#pragma once

#include <span>
#include <vector>

struct soxr;

namespace melodex::audio {

// Average of the channels of interleaved frames.
std::vector<float> toMono(std::span<const float> interleaved, int channels);

// High-quality one-shot conversion; returns the input unchanged when the rates are equal.
std::vector<float> resample(std::span<const float> samples, double fromRate, double toRate);

// The same conversion block by block, for input read in pieces: memory stays that of one block.
class StreamResampler {
public:
    StreamResampler(double fromRate, double toRate);
    ~StreamResampler();
    StreamResampler(const StreamResampler&) = delete;
    StreamResampler& operator=(const StreamResampler&) = delete;

    // Appends what the block yields to `out`; false if libsoxr failed.
    bool push(std::span<const float> block, std::vector<float>& out);
    // Appends what the filter still holds.
    bool finish(std::vector<float>& out);

private:
    bool process(const float* in, size_t length, std::vector<float>& out);
    double ratio_;
    ::soxr* soxr_ = nullptr;  // null when the rates are equal
};

} // namespace melodex::audio
