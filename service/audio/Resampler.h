// Sample-rate conversion through libsoxr, and the down-mix that precedes it. Everything the
// fingerprinter sees is mono at 8000 Hz (the phone's bandwidth is what is indexed).
#pragma once

#include <span>
#include <vector>

namespace melodex::audio {

// Average of the channels of interleaved frames.
std::vector<float> toMono(std::span<const float> interleaved, int channels);

// High-quality one-shot conversion; returns the input unchanged when the rates are equal.
std::vector<float> resample(std::span<const float> samples, double fromRate, double toRate);

} // namespace melodex::audio
