#include "AudioFile.h"

#include "Resampler.h"

#include <sndfile.h>

#include <algorithm>
#include <memory>

namespace melodex::audio {
namespace {
std::string tag(SNDFILE* file, int which) {
    const char* value = sf_get_string(file, which);
    return value != nullptr ? value : "";
}
} // namespace

bool AudioFile::load(const std::string& path, std::string& error, double maxSeconds) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open(path.c_str(), SFM_READ, &info), &sf_close);
    if (!file) {
        error = path + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.channels < 1 || info.samplerate <= 0) {
        error = path + ": no audio channels";
        return false;
    }
    title = tag(file.get(), SF_STR_TITLE);
    artist = tag(file.get(), SF_STR_ARTIST);
    album = tag(file.get(), SF_STR_ALBUM);
    sampleRate = info.samplerate;
    durationSeconds = static_cast<double>(info.frames) / info.samplerate;
    const sf_count_t limit = maxSeconds > 0.0 ? static_cast<sf_count_t>(maxSeconds * info.samplerate) : info.frames;

    // Read in blocks: for some compressed formats the frame count is only an estimate.
    std::vector<float> interleaved;
    std::vector<float> block(static_cast<size_t>(65536) * static_cast<size_t>(info.channels));
    for (sf_count_t total = 0; maxSeconds <= 0.0 || total < limit;) {
        const sf_count_t want = maxSeconds > 0.0 ? std::min<sf_count_t>(65536, limit - total) : 65536;
        const sf_count_t got = sf_readf_float(file.get(), block.data(), want);
        total += std::max<sf_count_t>(got, 0);
        if (got <= 0)
            break;
        interleaved.insert(interleaved.end(), block.begin(), block.begin() + got * info.channels);
    }
    samples = toMono(interleaved, info.channels);
    if (samples.empty()) {
        error = path + ": no samples";
        return false;
    }
    return true;
}

} // namespace melodex::audio
