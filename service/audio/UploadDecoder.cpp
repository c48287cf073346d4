#include "UploadDecoder.h"

#include "Resampler.h"

#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

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
    sf_count_t target = whence == SEEK_SET ? offset : whence == SEEK_CUR ? f->position + offset : size + offset;
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

} // namespace

UploadDecoder::UploadDecoder(double maxSeconds, double minSeconds) : maxSeconds_(maxSeconds), minSeconds_(minSeconds) {}

bool UploadDecoder::isClientImage(std::string_view b) {
    return b.size() >= 36 && b.substr(0, 4) == "RIFF" && b.substr(8, 8) == "WAVEfmt " && le32(b, 16) == 16 &&
           le16(b, 20) == 1 && le16(b, 22) == 1 && le32(b, 24) == 8000 && le16(b, 32) == 2 && le16(b, 34) == 1;
}

DecodedUpload UploadDecoder::decode(std::string_view body) const {
    if (body.empty())
        return failure(400, "empty body: expected a recording");
    return isClientImage(body) ? decodeClientImage(body) : decodeSoundFile(body);
}

DecodedUpload UploadDecoder::decodeClientImage(std::string_view body) const {
    // The header's size fields are never patched, so the body's length is the only
    // record of how much was sent; anything but the whole image is a damaged upload.
    if (body.size() != kClientImageSize)
        return failure(400, "client recording of " + std::to_string(body.size()) + " bytes, expected " +
                                std::to_string(kClientImageSize));
    if (body.substr(4088, 4) != "data")
        return failure(400, "client recording without its data chunk at offset 4088");
    const size_t count = (body.size() - kClientSampleOffset) / 2;
    DecodedUpload d;
    d.samples.resize(count);
    for (size_t i = 0; i < count; ++i)
        d.samples[i] = static_cast<float>(static_cast<int16_t>(le16(body, kClientSampleOffset + 2 * i))) / 32768.0f;
    const auto limit = static_cast<size_t>(maxSeconds_ * 8000.0);
    if (d.samples.size() > limit)
        d.samples.resize(limit);
    d.reason = "client recording, 8000 Hz mono, " + std::to_string(count) + " samples";
    return d;
}

DecodedUpload UploadDecoder::decodeSoundFile(std::string_view body) const {
    SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
    MemoryFile memory{body, 0};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(sf_open_virtual(&io, SFM_READ, &info, &memory), &sf_close);
    if (!file)
        return failure(415, std::string("body is not a sound file: ") + sf_strerror(nullptr));
    if (info.samplerate < 4000 || info.samplerate > 384000 || info.channels < 1 || info.channels > 16)
        return failure(415, "unsupported sound format: " + std::to_string(info.samplerate) + " Hz, " +
                                std::to_string(info.channels) + " channels");
    const auto wanted = static_cast<sf_count_t>(maxSeconds_ * info.samplerate);
    const sf_count_t frames = info.frames > 0 ? std::min(info.frames, wanted) : wanted;
    std::vector<float> interleaved(static_cast<size_t>(frames) * static_cast<size_t>(info.channels));
    const sf_count_t got = sf_readf_float(file.get(), interleaved.data(), frames);
    interleaved.resize(static_cast<size_t>(std::max<sf_count_t>(got, 0)) * static_cast<size_t>(info.channels));
    if (static_cast<double>(got) < minSeconds_ * info.samplerate)
        return failure(400, "sound too short: " + std::to_string(got) + " frames at " +
                                std::to_string(info.samplerate) + " Hz");
    DecodedUpload d;
    d.samples = resample(toMono(interleaved, info.channels), info.samplerate, 8000.0);
    d.reason = "sound file, " + std::to_string(info.samplerate) + " Hz, " + std::to_string(info.channels) +
               " channel(s), " + std::to_string(got) + " frames";
    return d;
}

} // namespace melodex::audio
