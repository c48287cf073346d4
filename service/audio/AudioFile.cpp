#include "AudioFile.h"

#include "Resampler.h"

#include <sndfile.h>

#include <memory>

namespace melodex::audio {
namespace {
std::string tag(SNDFILE* file, int which) {
    const char* value = sf_get_string(file, which);
    return value != nullptr ? value : "";
}
} // namespace

bool AudioFile::load(const std::string& path, std::string& error) {
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

    // Read in blocks: for some compressed formats the frame count is only an estimate.
    std::vector<float> interleaved;
    std::vector<float> block(static_cast<size_t>(65536) * static_cast<size_t>(info.channels));
    for (;;) {
        const sf_count_t got = sf_readf_float(file.get(), block.data(), 65536);
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
