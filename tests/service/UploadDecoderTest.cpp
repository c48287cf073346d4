// What the service accepts as a recording: the client's 180096-byte image and ordinary WAV files of
// any rate and channel count; everything else is refused with a reason.
#include "TestSupport.h"
#include "audio/UploadDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace melodex;

namespace {

std::vector<float> tone(double seconds, double hz) {
    std::vector<float> s(static_cast<size_t>(seconds * 8000));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = 0.5f * static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(i) / 8000.0));
    return s;
}

} // namespace

TEST(UploadDecoder, ReadsTheClientImageFromOffset4096) {
    const std::vector<float> clip = tone(11.0, 440.0);
    const audio::UploadDecoder decoder({30.0});
    const audio::DecodedUpload d = decoder.decode(micsim::MicSimulator::clientImage(clip));
    ASSERT_EQ(d.status, 0) << d.reason;
    ASSERT_EQ(d.samples.size(), 88000u);
    for (size_t i = 0; i < 88000; i += 997)
        EXPECT_NEAR(d.samples[i], clip[i], 1.0 / 16384);
}

TEST(UploadDecoder, ReadsOrdinaryWavsOfAnyRateAndChannels) {
    const std::vector<float> clip = tone(3.0, 440.0);
    const audio::UploadDecoder decoder({30.0});
    for (int rate : {8000, 16000, 44100})
        for (int channels : {1, 2}) {
            const audio::DecodedUpload d = decoder.decode(test::wavBytes(clip, rate, channels));
            ASSERT_EQ(d.status, 0) << rate << " Hz " << channels << " ch: " << d.reason;
            EXPECT_NEAR(static_cast<double>(d.samples.size()), 24000.0, 50.0) << rate << " Hz " << channels << " ch";
        }
}

namespace {

// A FLAC stream header claiming 8 channels, 384 kHz, 24 bits and 2^36 - 1 frames, with no audio.
std::string hostileFlac() {
    std::string b = "fLaC";
    b += std::string("\x80\x00\x00\x22", 4);      // last metadata block: STREAMINFO, 34 bytes
    b += std::string("\x10\x00\x10\x00", 4);      // block sizes 4096
    b += std::string(6, '\0');                     // frame sizes unknown
    const uint64_t packed = (uint64_t{384000} << 44) | (uint64_t{7} << 41) | (uint64_t{23} << 36) | ((uint64_t{1} << 36) - 1);
    for (int shift = 56; shift >= 0; shift -= 8)
        b += static_cast<char>((packed >> shift) & 0xFF);
    b += std::string(16, '\x5a');                 // MD5
    b += std::string(106 - b.size(), '\xff');
    return b;
}

// A WAV header announcing gigabytes of 8-channel 384 kHz float sound, followed by 60 bytes.
std::string hostileWav() {
    std::string b = "RIFF\xff\xff\xff\x7fWAVEfmt ";
    const auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF); };
    const auto u16 = [&](uint16_t v) { b += static_cast<char>(v & 0xFF); b += static_cast<char>(v >> 8); };
    u32(16); u16(3); u16(8); u32(384000); u32(384000 * 32); u16(32); u16(32);
    b += "data";
    u32(0x7ffffff0);
    return b + std::string(60, '\x11');
}

// One Ogg page holding only a Vorbis identification header (mono, 44.1 kHz), 58 bytes: the
// codec allocates its setup, the missing comment header fails the open, and the setup leaks.
std::string malformedOgg() {
    static const char bytes[] = "\x4f\x67\x67\x53\x00\x02\x00\x00\x00\x00\x00\x00\x00\x00\x49\x58\x44\x4d\x00\x00\x00\x00\x1a\x7d\x53\x1c\x01\x1e\x01"
                                "\x76\x6f\x72\x62\x69\x73\x00\x00\x00\x00\x01\x44\xac\x00\x00\x00\x00\x00\x00\x00\xfa\x00\x00\x00\x00\x00\x00\xb8\x01";
    return std::string(bytes, sizeof bytes - 1);
}

} // namespace

// Empty, truncated and non-audio bodies, and headers announcing far more sound than follows
// (read only as far as the sound goes), are refused with a reason.
TEST(UploadDecoder, RefusesBodiesThatAreNotWholeSound) {
    const audio::UploadDecoder decoder({30.0});
    const std::string image = micsim::MicSimulator::clientImage(tone(11.0, 440.0));
    const struct {
        const char* what;
        std::string body;
        int status;
    } cases[] = {
        {"empty", "", 400},
        {"client image cut short", image.substr(0, 100000), 400},
        {"client header cut short", image.substr(0, 40), 400},
        {"client image too long", image + "extra", 400},
        {"text", std::string(5000, 'x'), 415},
        {"a web page", "<html><body>not a song</body></html>", 415},
        {"WAV of less than a second", test::wavBytes(tone(0.2, 440.0), 8000, 1), 400},
        {"WAV cut in its header", test::wavBytes(tone(3.0, 440.0), 8000, 1).substr(0, 30), 415},
        {"FLAC claiming 2^36 frames of 8 channels", hostileFlac(), 400},
        {"WAV claiming 2 GB of 8 channels", hostileWav(), 400},
        {"malformed Ogg", malformedOgg(), 415},
        {"no known container", "MThd" + std::string(400, '\0'), 415},
    };
    for (const auto& c : cases) {
        const audio::DecodedUpload d = decoder.decode(c.body);
        EXPECT_EQ(d.status, c.status) << c.what << ": " << d.reason;
        EXPECT_TRUE(d.samples.empty()) << c.what;
        EXPECT_FALSE(d.reason.empty()) << c.what;
    }
}

TEST(UploadDecoder, SoundFilesAreDecodedAlikeInTheChildProcess) {
    const std::string wav = test::wavBytes(tone(3.0, 440.0), 44100, 2);
    const audio::DecodedUpload here = audio::UploadDecoder({30.0}).decode(wav);
    const audio::DecodedUpload child = audio::UploadDecoder({30.0}, MELODEX_DECODER_PATH).decode(wav);
    ASSERT_EQ(child.status, 0) << child.reason;
    EXPECT_EQ(child.reason, here.reason);
    ASSERT_EQ(child.samples.size(), here.samples.size());
    EXPECT_EQ(child.samples, here.samples);
    EXPECT_EQ(audio::UploadDecoder({30.0}, MELODEX_DECODER_PATH).decode(hostileFlac()).status, 400);
    EXPECT_EQ(audio::UploadDecoder({30.0}, MELODEX_DECODER_PATH).decode(malformedOgg()).status, 415);
    // A decoder that dies or is missing costs a refusal, never the service.
    EXPECT_EQ(audio::UploadDecoder({30.0}, "/bin/false").decode(wav).status, 415);
    EXPECT_EQ(audio::UploadDecoder({30.0}, "/nonexistent/melodex-decode").decode(wav).status, 503);
    // The client's own recording never needs a child.
    const std::string image = micsim::MicSimulator::clientImage(tone(11.0, 440.0));
    EXPECT_EQ(audio::UploadDecoder({30.0}, "/nonexistent/melodex-decode").decode(image).status, 0);
}
