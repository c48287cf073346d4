// A track as heard across a large room, for the catalog to index beside the track itself.
#pragma once

#include "FingerprintConfig.h"

#include <span>
#include <vector>

namespace melodex::fp {

// A large room's impulse response at config.sampleRate: the direct sound, then after 10 ms a
// tail of noise that falls by 60 dB in config.roomSeconds, holding config.roomTailToDirect
// times the direct sound's energy (a listener far beyond the critical distance). The same
// response every time: a catalog built twice is the same catalog.
std::vector<float> largeRoomResponse(const FingerprintConfig& config);

// x convolved with h, cut to x's length (linear convolution through one FFT).
std::vector<float> convolve(std::span<const float> x, std::span<const float> h);

// `samples` through a room's response `room`, at their own mean power: a room's reverberation
// is not an amplifier.
std::vector<float> reverberate(std::span<const float> samples, std::span<const float> room);

// `samples` heard across the large room, at their own mean power.
std::vector<float> heardAcrossLargeRoom(std::span<const float> samples, const FingerprintConfig& config);

} // namespace melodex::fp
