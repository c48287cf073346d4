// Turns a POSTed body into 8000 Hz mono samples: either the client's own recording image (whose
// header ordinary WAV readers reject: RIFF size big-endian, bits field 1, data size 0), read
// here, or a sound file (WAV, FLAC, Ogg, AIFF, MP3) read with libsndfile.
//
// Work is bounded by what a query can use, never by what a header claims: sound files are read
// in blocks, down-mixed and resampled as they come, and reading stops at maxSeconds of sound or
// kMaxInputSamples samples (frames x channels), whichever comes first. The codec libraries
// behind libsndfile leak on some malformed files, so the service decodes sound files in a
// short-lived child process (melodex-decode) whose memory and CPU time are limited; what a
// malformed file leaks ends with that process.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace melodex::audio {

struct DecodedUpload {
    int status = 0;              // 0 on success, else the HTTP status to answer (400, 415, 503)
    std::string reason;          // one line: what was wrong, or what was decoded
    std::vector<float> samples;  // mono, 8000 Hz, at most maxSeconds long
};

struct DecodeLimits {
    double maxSeconds = 30.0;   // longer sound is not read
    double minSeconds = 1.0;    // shorter sound is refused
};

class UploadDecoder {
public:
    static constexpr size_t kClientImageSize = 180096;  // 4096 header + 176000 sample bytes
    static constexpr size_t kClientSampleOffset = 4096;
    static constexpr size_t kMaxInputSamples = size_t{1} << 22;  // 30 s of 48 kHz stereo fits
    static constexpr int kMaxChannels = 8;
    static constexpr int kMaxConcurrentChildren = 2;
    static constexpr double kChildSeconds = 10.0;  // wall clock for one child's decode

    // decoderPath: the melodex-decode executable; empty decodes sound files in this process
    // (tests, tools and the fuzzer, which want libsndfile's faults in their own process).
    explicit UploadDecoder(DecodeLimits limits, std::string decoderPath = {});
    ~UploadDecoder();

    DecodedUpload decode(std::string_view body) const;

    // True when the body starts with the client's header template (8000 Hz mono PCM, bits
    // field 1), whatever its length.
    static bool isClientImage(std::string_view body);
    // True when the body starts like a container libsndfile is asked to read.
    static bool looksLikeSoundFile(std::string_view body);

    // The sound-file decode itself, bounded as described above; what melodex-decode runs.
    static DecodedUpload decodeSoundFile(std::string_view body, const DecodeLimits& limits);
    // The same, reading from a seekable file descriptor.
    static DecodedUpload decodeSoundFile(int fd, const DecodeLimits& limits);

private:
    DecodedUpload decodeClientImage(std::string_view body) const;
    DecodedUpload decodeInChild(std::string_view body) const;

    DecodeLimits limits_;
    std::string decoderPath_;
    struct Children;
    std::unique_ptr<Children> children_;
};

} // namespace melodex::audio
