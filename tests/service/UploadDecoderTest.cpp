// What the service accepts as a recording: the client's 180096-byte image and ordinary WAV files of
// any rate and channel count; everything else is refused with a reason.
#include "HostileUploads.h"
#include "TestSupport.h"
#include "audio/UploadDecoder.h"

#include <gtest/gtest.h>

using namespace melodex;
using loadbench::hostileFlac;
using loadbench::hostileWav;
using loadbench::malformedOgg;

using test::tone;

// The client's image is read from offset 4096 sample for sample; WAVs of any rate and channel
// count come out as as many seconds of 8000 Hz mono.
TEST(UploadDecoder, ReadsTheClientImageAndWavsOfAnyRateAndChannels) {
    const std::vector<float> clip = tone(3.0, 440.0);
    const audio::UploadDecoder decoder({30.0});
    const std::vector<float> image = tone(11.0, 440.0);
    const audio::DecodedUpload d = decoder.decode(micsim::MicSimulator::clientImage(image));
    ASSERT_EQ(d.status, 0) << d.reason;
    ASSERT_EQ(d.samples.size(), 88000u);
    for (size_t i = 0; i < 88000; i += 997)
        EXPECT_NEAR(d.samples[i], image[i], 1.0 / 16384);
    for (int rate : {8000, 16000, 44100})
        for (int channels : {1, 2}) {
            const audio::DecodedUpload wav = decoder.decode(test::wavBytes(clip, rate, channels));
            ASSERT_EQ(wav.status, 0) << rate << " Hz " << channels << " ch: " << wav.reason;
            EXPECT_NEAR(static_cast<double>(wav.samples.size()), 24000.0, 50.0) << rate << " Hz " << channels << " ch";
        }
}

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
        {"client image without its data chunk", std::string(image).replace(4088, 4, "junk"), 400},
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
