// Turns a POSTed body into 8000 Hz mono samples: either the client's own recording image
// (whose header ordinary WAV readers reject) or any sound file libsndfile reads.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace melodex::audio {

struct DecodedUpload {
    int status = 0;              // 0 on success, else the HTTP status to answer (400, 415)
    std::string reason;          // one line: what was wrong, or what was decoded
    std::vector<float> samples;  // mono, 8000 Hz, at most maxSeconds long
};

class UploadDecoder {
public:
    static constexpr size_t kClientImageSize = 180096;  // 4096 header + 176000 samples
    static constexpr size_t kClientSampleOffset = 4096;

    explicit UploadDecoder(double maxSeconds, double minSeconds = 1.0);

    DecodedUpload decode(std::string_view body) const;

    // True when the body starts with the client's header template (RIFF size bytes written
    // big-endian, 8000 Hz mono, bits field 1, "data" at 4088 with size 0), whatever its length.
    static bool isClientImage(std::string_view body);

private:
    DecodedUpload decodeClientImage(std::string_view body) const;
    DecodedUpload decodeSoundFile(std::string_view body) const;

    double maxSeconds_;
    double minSeconds_;
};

} // namespace melodex::audio
