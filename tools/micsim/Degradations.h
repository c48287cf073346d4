// What stands between a song and a phone's microphone beyond noise and a small room: a pitch
// shift that keeps the tempo (a radio edit, a live band tuned differently), a small loudspeaker,
// a large hall, the chatter of a crowd, pink noise. Each is deterministic given its seed.
#pragma once

#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace melodex::micsim {

double meanPower(std::span<const float> x);

// Pitch moved by `semitones`, tempo and length kept (librubberband, offline). 8000 Hz mono.
std::vector<float> pitchShift(const std::vector<float>& clip, double semitones);

// A small loudspeaker: its cone barely moves air below ~300 Hz (12 dB an octave below a
// resonant corner), a breakup resonance near 2.5 kHz, and a driver pushed into soft clipping.
void smallSpeaker(std::vector<float>& clip);

// A large hall's impulse response at 8000 Hz, built as a measured one looks: direct sound,
// a gap, sparse early reflections growing denser, then a diffuse tail that decays by 60 dB in
// `rt60` seconds at mid frequencies, longer below 500 Hz and shorter above 2 kHz (air and
// seats absorb the highs); the listener is well beyond the critical distance, so the tail
// holds about eight times the direct sound's energy.
std::vector<float> hallResponse(double rt60, uint32_t seed);

// An impulse response from a sound file (any rate, down-mixed), at 8000 Hz.
bool loadImpulse(const std::string& path, std::vector<float>& impulse, std::string& error);

// Pink noise (equal power per octave; Paul Kellet's three-pole approximation).
std::vector<float> pinkNoise(size_t count, std::mt19937& random);

// A crowd talking: six voices, each a run of syllables (a glottal pulse train at the voice's
// pitch through three vowel formants, with pauses), summed. 8000 Hz.
std::vector<float> babble(size_t count, std::mt19937& random);

} // namespace melodex::micsim
