#include "UploadDecoder.h"

#include "DecoderChild.h"
#include "Resampler.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <semaphore>

namespace melodex::audio {
namespace {

uint16_t le16(std::string_view b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8));
}
uint32_t le32(std::string_view b, size_t at) {
    return static_cast<uint32_t>(le16(b, at)) | (static_cast<uint32_t>(le16(b, at + 2)) << 16);
}

// libsndfile reads from memory through its virtual I/O callbacks.
struct MemoryFile {
    std::string_view data;
    sf_count_t position = 0;
};

sf_count_t vioLength(void* user) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->data.size()); }
sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const auto size = static_cast<sf_count_t>(f->data.size());
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->position : size;
    // Offsets come from the file: keep the sum from overflowing before it is clamped.
    const sf_count_t target = offset > size ? size : offset < -size ? 0 : base + offset;
    f->position = std::clamp<sf_count_t>(target, 0, size);
    return f->position;
}
sf_count_t vioRead(void* ptr, sf_count_t count, void* user) {
    auto* f = static_cast<MemoryFile*>(user);
    const auto size = static_cast<sf_count_t>(f->data.size());
    const sf_count_t n = std::clamp<sf_count_t>(size - f->position, 0, count);
    std::memcpy(ptr, f->data.data() + f->position, static_cast<size_t>(n));
    f->position += n;
    return n;
}
sf_count_t vioWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t vioTell(void* user) { return static_cast<MemoryFile*>(user)->position; }

DecodedUpload failure(int status, std::string reason) {
    DecodedUpload d;
    d.status = status;
    d.reason = std::move(reason);
    return d;
}

using SoundFile = std::unique_ptr<SNDFILE, int (*)(SNDFILE*)>;

// Reads an open sound file block by block into 8000 Hz mono.
DecodedUpload readBounded(SNDFILE* file, const SF_INFO& info, const DecodeLimits& limits) {
    if (info.samplerate < 4000 || info.samplerate > 384000 || info.channels < 1 ||
        info.channels > UploadDecoder::kMaxChannels)
        return failure(415, "unsupported sound format: " + std::to_string(info.samplerate) + " Hz, " +
                                std::to_string(info.channels) + " channels");
    const auto channels = static_cast<size_t>(info.channels);
    const auto wantFrames = std::min<sf_count_t>(static_cast<sf_count_t>(limits.maxSeconds * info.samplerate),
                                                 static_cast<sf_count_t>(UploadDecoder::kMaxInputSamples / channels));
    constexpr sf_count_t kBlockFrames = 4096;
    std::vector<float> block(static_cast<size_t>(kBlockFrames) * channels);
    std::vector<float> mono(static_cast<size_t>(kBlockFrames));
    StreamResampler resampler(info.samplerate, 8000.0);
    DecodedUpload d;
    sf_count_t total = 0;
    while (total < wantFrames) {
        const sf_count_t got = sf_readf_float(file, block.data(), std::min(kBlockFrames, wantFrames - total));
        if (got <= 0)
            break;
        total += got;
        const std::vector<float> down = toMono(std::span(block).first(static_cast<size_t>(got) * channels), info.channels);
        if (!resampler.push(down, d.samples))
            return failure(415, "cannot resample " + std::to_string(info.samplerate) + " Hz");
    }
    if (static_cast<double>(total) < limits.minSeconds * info.samplerate)
        return failure(400, "sound too short: " + std::to_string(total) + " frames at " + std::to_string(info.samplerate) + " Hz");
    resampler.finish(d.samples);
    const auto limit = static_cast<size_t>(limits.maxSeconds * 8000.0);
    if (d.samples.size() > limit)
        d.samples.resize(limit);
    d.reason = "sound file, " + std::to_string(info.samplerate) + " Hz, " + std::to_string(info.channels) +
               " channel(s), " + std::to_string(total) + " frames";
    return d;
}

} // namespace

struct UploadDecoder::Children {
    std::counting_semaphore<kMaxConcurrentChildren> slots{kMaxConcurrentChildren};
};

UploadDecoder::UploadDecoder(DecodeLimits limits, std::string decoderPath)
    : limits_(limits), decoderPath_(std::move(decoderPath)), children_(std::make_unique<Children>()) {}

UploadDecoder::~UploadDecoder() = default;

bool UploadDecoder::isClientImage(std::string_view b) {
    return b.size() >= 36 && b.substr(0, 4) == "RIFF" && b.substr(8, 8) == "WAVEfmt " && le32(b, 16) == 16 &&
           le16(b, 20) == 1 && le16(b, 22) == 1 && le32(b, 24) == 8000 && le16(b, 32) == 2 && le16(b, 34) == 1;
}

bool UploadDecoder::looksLikeSoundFile(std::string_view b) {
    if (b.size() < 12)
        return false;
    const std::string_view riffKind = b.substr(8, 4);
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(b[i]); };
    return ((b.substr(0, 4) == "RIFF" || b.substr(0, 4) == "RIFX" || b.substr(0, 4) == "RF64") && riffKind == "WAVE") ||
           (b.substr(0, 4) == "FORM" && (riffKind == "AIFF" || riffKind == "AIFC")) || b.substr(0, 4) == "fLaC" ||
           b.substr(0, 4) == "OggS" || b.substr(0, 3) == "ID3" || (byte(0) == 0xFF && (byte(1) & 0xE0) == 0xE0);
}

DecodedUpload UploadDecoder::decode(std::string_view body) const {
    if (body.empty())
        return failure(400, "empty body: expected a recording");
    if (isClientImage(body))
        return decodeClientImage(body);
    // Anything else is handed to a codec library only when it starts like a file it reads.
    if (!looksLikeSoundFile(body))
        return failure(415, "body is not a sound file (expected the client's recording, WAV, FLAC, Ogg, AIFF or MP3)");
    return decoderPath_.empty() ? decodeSoundFile(body, limits_) : decodeInChild(body);
}

DecodedUpload UploadDecoder::decodeClientImage(std::string_view body) const {
    // The header's size fields are never patched, so the body's length is the only record of
    // how much was sent; anything but the whole image is a damaged upload.
    if (body.size() != kClientImageSize)
        return failure(400, "client recording of " + std::to_string(body.size()) + " bytes, expected " +
                                std::to_string(kClientImageSize));
    if (body.substr(4088, 4) != "data")
        return failure(400, "client recording without its data chunk at offset 4088");
    const size_t count = std::min((body.size() - kClientSampleOffset) / 2, static_cast<size_t>(limits_.maxSeconds * 8000.0));
    DecodedUpload d;
    d.samples.resize(count);
    for (size_t i = 0; i < count; ++i)
        d.samples[i] = static_cast<float>(static_cast<int16_t>(le16(body, kClientSampleOffset + 2 * i))) / 32768.0f;
    d.reason = "client recording, 8000 Hz mono, " + std::to_string((body.size() - kClientSampleOffset) / 2) + " samples";
    return d;
}

DecodedUpload UploadDecoder::decodeSoundFile(std::string_view body, const DecodeLimits& limits) {
    SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
    MemoryFile memory{body, 0};
    SF_INFO info{};
    SoundFile file(sf_open_virtual(&io, SFM_READ, &info, &memory), &sf_close);
    if (!file)
        return failure(415, std::string("body is not a sound file: ") + sf_strerror(nullptr));
    return readBounded(file.get(), info, limits);
}

DecodedUpload UploadDecoder::decodeSoundFile(int fd, const DecodeLimits& limits) {
    SF_INFO info{};
    SoundFile file(sf_open_fd(fd, SFM_READ, &info, SF_FALSE), &sf_close);
    if (!file)
        return failure(415, std::string("body is not a sound file: ") + sf_strerror(nullptr));
    return readBounded(file.get(), info, limits);
}

DecodedUpload UploadDecoder::decodeInChild(std::string_view body) const {
    // At most a few children at once: each takes a core while it runs.
    if (!children_->slots.try_acquire_for(std::chrono::seconds(5)))
        return failure(503, "busy decoding other sound files; try again");
    DecodedUpload d = runDecoderChild(decoderPath_, body, limits_, kChildSeconds);
    children_->slots.release();
    return d;
}

} // namespace melodex::audio
