#include "MicSimulator.h"

#include "Biquad.h"
#include "Degradations.h"
#include "audio/Resampler.h"
#include "fingerprint/LargeRoom.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <random>

namespace melodex::micsim {
namespace {

constexpr int kRate = 8000;


// A small room: direct sound, a few early reflections, then an exponentially decaying
// noise tail that falls by 60 dB in rt60 seconds.
std::vector<float> roomResponse(double rt60, std::mt19937& random) {
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    const auto length = static_cast<size_t>(rt60 * kRate);
    std::vector<float> h(length, 0.0f);
    h[0] = 1.0f;
    for (int r = 0; r < 6; ++r) {
        const auto at = static_cast<size_t>(std::uniform_int_distribution<int>(40, 400)(random));
        if (at < length)
            h[at] += 0.5f * std::exp(-static_cast<float>(r) * 0.3f) * (random() % 2 ? 1.0f : -1.0f);
    }
    const double decay = std::log(1000.0) / (rt60 * kRate);  // amplitude -60 dB at rt60
    for (size_t i = 80; i < length; ++i)
        h[i] += 0.25f * gauss(random) * static_cast<float>(std::exp(-decay * static_cast<double>(i)));
    return h;
}

// Pink-ish background (a room's hum and chatter are mostly low): white noise through a
// one-pole low-pass, mixed with some of the white.
std::vector<float> backgroundNoise(size_t count, std::mt19937& random) {
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    std::vector<float> noise(count);
    float lowPassed = 0.0f;
    for (float& n : noise) {
        const float white = gauss(random);
        lowPassed = 0.97f * lowPassed + 0.03f * white;
        n = 4.0f * lowPassed + 0.3f * white;
    }
    return noise;
}

bool gsmRoundTrip(std::vector<float>& clip, std::string& error) {
    char dir[] = "/tmp/melodex-micsim-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        error = "cannot make a temporary folder for the GSM round trip";
        return false;
    }
    const std::string in = std::string(dir) + "/in.wav", gsm = std::string(dir) + "/x.gsm",
                      out = std::string(dir) + "/out.wav";
    bool ok = MicSimulator::writeWav(in, clip, error);
    if (ok) {
        const std::string command = "sox -q '" + in + "' -r 8000 -c 1 '" + gsm + "' && sox -q '" + gsm + "' -b 16 '" +
                                    out + "'";
        ok = std::system(command.c_str()) == 0;
        if (!ok)
            error = "sox failed to encode GSM (is sox with libsox-fmt-all installed?)";
    }
    if (ok) {
        SF_INFO info{};
        std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> f(sf_open(out.c_str(), SFM_READ, &info), &sf_close);
        ok = f != nullptr;
        if (ok) {
            std::vector<float> decoded(static_cast<size_t>(info.frames));
            sf_readf_float(f.get(), decoded.data(), info.frames);
            decoded.resize(clip.size(), 0.0f);
            clip = std::move(decoded);
        } else {
            error = "cannot read the GSM round trip back";
        }
    }
    std::filesystem::remove_all(dir);
    return ok;
}

} // namespace

MicSimulator::MicSimulator(MicSettings settings) : settings_(settings) {}

bool MicSimulator::simulate(const std::vector<float>& track, int rate, std::vector<float>& clip, std::string& error) const {
    std::mt19937 random(settings_.seed);
    // The speaker plays `speed` times faster: seconds*speed of the track fill the clip.
    const auto first = static_cast<size_t>(std::max(0.0, settings_.atSeconds) * rate);
    const auto span = static_cast<size_t>(settings_.seconds * settings_.speed * rate) + static_cast<size_t>(rate) / 10;
    std::vector<float> piece;
    if (first < track.size())
        piece.assign(track.begin() + static_cast<std::ptrdiff_t>(first),
                     track.begin() + static_cast<std::ptrdiff_t>(std::min(track.size(), first + span)));
    clip = audio::resample(piece, rate * settings_.speed, kRate);
    clip.resize(static_cast<size_t>(settings_.seconds * kRate), 0.0f);
    if (settings_.pitchSemitones != 0.0)
        clip = pitchShift(clip, settings_.pitchSemitones);

    // Where the music plays: the noise's level is set against it there.
    size_t musicFrom = 0, musicTo = clip.size();
    if (settings_.musicSeconds > 0.0 && settings_.musicSeconds < settings_.seconds) {
        const auto length = static_cast<size_t>(settings_.musicSeconds * kRate);
        musicFrom = std::uniform_int_distribution<size_t>(0, clip.size() - length)(random);
        musicTo = musicFrom + length;
        const size_t fade = kRate / 50;
        for (size_t i = 0; i < clip.size(); ++i) {
            const size_t inside = i < musicFrom || i >= musicTo ? 0 : std::min(i - musicFrom, musicTo - 1 - i);
            if (inside < fade)
                clip[i] *= static_cast<float>(0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(inside) / fade));
        }
    }
    if (settings_.speaker)
        smallSpeaker(clip);
    if (settings_.reverb) {
        std::vector<float> h = roomResponse(settings_.reverbSeconds, random);
        clip = fp::convolve(clip, h);
    }
    if (!settings_.room.empty())
        clip = fp::reverberate(clip, settings_.room);  // at the level the speaker had
    const double musicPower = meanPower(std::span<const float>(clip).subspan(musicFrom, musicTo - musicFrom));
    const auto addAt = [&](const std::vector<float>& noise, double snrDb) {
        const double scale = std::sqrt(musicPower / (meanPower(noise) * std::pow(10.0, snrDb / 10.0)));
        for (size_t i = 0; i < clip.size(); ++i)
            clip[i] += static_cast<float>(scale) * noise[i];
    };
    if (settings_.snrDb < 100.0)
        addAt(settings_.noise == MicSettings::Noise::pink ? pinkNoise(clip.size(), random)
                                                          : backgroundNoise(clip.size(), random),
              settings_.snrDb);
    if (settings_.babbleDb < 100.0)
        addAt(babble(clip.size(), random), settings_.babbleDb);
    if (settings_.bandLimit) {
        for (int pass = 0; pass < 2; ++pass) {
            Biquad::highPass(300.0, kRate).run(clip);
            Biquad::lowPass(3400.0, kRate).run(clip);
        }
    }
    // Microphone gain; what exceeds full scale clips, as a phone's converter would.
    const auto gain = static_cast<float>(std::pow(10.0, settings_.gainDb / 20.0));
    for (float& s : clip)
        s = std::clamp(s * gain, -1.0f, 1.0f);
    if (settings_.gsm && !gsmRoundTrip(clip, error))
        return false;
    return true;
}

std::string MicSimulator::clientImage(const std::vector<float>& clip8k) {
    // The client's header template, byte for byte.
    std::string image(180096, '\0');
    auto put16 = [&](size_t at, uint16_t v) {
        image[at] = static_cast<char>(v & 0xFF);
        image[at + 1] = static_cast<char>(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
        put16(at, static_cast<uint16_t>(v & 0xFFFF));
        put16(at + 2, static_cast<uint16_t>(v >> 16));
    };
    std::memcpy(&image[0], "RIFF", 4);
    const unsigned char riffSize[4] = {0x00, 0x02, 0xBF, 0x78};  // 180088, most significant first
    std::memcpy(&image[4], riffSize, 4);
    std::memcpy(&image[8], "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, 8000);
    put32(28, 16000);
    put16(32, 2);
    put16(34, 1);  // the bits field holds 1, not 16
    std::memcpy(&image[36], "PAD ", 4);
    put32(40, 4044);
    std::memcpy(&image[4088], "data", 4);
    put32(4092, 0);
    for (size_t i = 0; i < 88000; ++i) {
        const float s = i < clip8k.size() ? clip8k[i] : 0.0f;
        const auto v = static_cast<int16_t>(std::lround(std::clamp(s, -1.0f, 32767.0f / 32768.0f) * 32768.0f));
        put16(4096 + 2 * i, static_cast<uint16_t>(v));
    }
    return image;
}

bool MicSimulator::writeWav(const std::string& path, const std::vector<float>& clip8k, std::string& error) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> f(sf_open(path.c_str(), SFM_WRITE, &info), &sf_close);
    if (!f) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    sf_command(f.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    sf_writef_float(f.get(), clip8k.data(), static_cast<sf_count_t>(clip8k.size()));
    return true;
}

} // namespace melodex::micsim
