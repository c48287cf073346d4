// A music file of the catalog (OGG, FLAC, WAV, MP3 … whatever libsndfile reads), decoded to
// mono with its tags.
#pragma once

#include <string>
#include <vector>

namespace melodex::audio {

struct AudioFile {
    std::vector<float> samples;  // mono, at sampleRate
    int sampleRate = 0;
    std::string title;           // from the file's tags; empty when it has none
    std::string artist;
    std::string album;

    // Decodes the file, or its first maxSeconds when that is above 0. False with a reason
    // when libsndfile cannot read it.
    bool load(const std::string& path, std::string& error, double maxSeconds = 0.0);
    double durationSeconds = 0.0;  // of the whole file, as its header says
};

} // namespace melodex::audio
