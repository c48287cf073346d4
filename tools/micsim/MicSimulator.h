// Makes a clean music clip sound as if a phone held near a loudspeaker recorded it: optional speed
// or pitch change at the source, music for only part of the clip, a small loudspeaker, room
// reverberation or a given room's impulse response, background noise and a crowd's chatter at
// chosen SNRs, the handset's band limit, 8000 Hz, gain, optional GSM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace melodex::micsim {

struct MicSettings {
    double atSeconds = 0.0;     // where the clip starts in the track
    double seconds = 11.0;      // the client records 11.0 s
    double speed = 1.0;         // playback speed at the speaker (1.03 = 3 % fast, pitch up)
    double pitchSemitones = 0;  // pitch moved, tempo kept
    double musicSeconds = 0;    // > 0: music only this long, at a point drawn from the seed; silence around
    bool speaker = false;       // a small loudspeaker plays it
    bool reverb = false;        // a small room: RT60 0.5 s
    double reverbSeconds = 0.5;
    std::vector<float> room;    // a room's impulse response at 8000 Hz (hallResponse, loadImpulse)
    double snrDb = 1000.0;      // background noise level; >= 100 means none
    enum class Noise { room, pink } noise = Noise::room;  // room: a low hum and hiss
    double babbleDb = 1000.0;   // a crowd's chatter, SNR; >= 100 means none
    double gainDb = 0.0;        // microphone gain after everything else
    bool bandLimit = true;      // 300-3400 Hz, the phone's voice band
    bool gsm = false;           // GSM 06.10 round trip through sox
    uint32_t seed = 1;          // noise and room are drawn from this seed
};

class MicSimulator {
public:
    explicit MicSimulator(MicSettings settings);

    // Mono samples of the track at `rate` in, 8000 Hz mono clip out (seconds * 8000 samples,
    // zero-padded when the track ends early). False with a reason on failure (GSM only).
    bool simulate(const std::vector<float>& track, int rate, std::vector<float>& clip, std::string& error) const;

    // The client's 180096-byte request image, samples from offset 4096.
    static std::string clientImage(const std::vector<float>& clip8k);

    // A plain 16-bit PCM WAV at 8000 Hz, mono.
    static bool writeWav(const std::string& path, const std::vector<float>& clip8k, std::string& error);

private:
    MicSettings settings_;
};

} // namespace melodex::micsim
