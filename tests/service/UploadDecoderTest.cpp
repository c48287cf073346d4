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

TEST(UploadDecoder, ClientImageHasTheRecordingBuffersLayout) {
    const std::string image = micsim::MicSimulator::clientImage(tone(11.0, 440.0));
    ASSERT_EQ(image.size(), 180096u);
    EXPECT_EQ(image.substr(0, 4), "RIFF");
    EXPECT_EQ(image.substr(4, 4), std::string("\x00\x02\xBF\x78", 4));
    EXPECT_EQ(image.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(image[34], 1);  // bits field 1
    EXPECT_EQ(image.substr(36, 4), "PAD ");
    EXPECT_EQ(image.substr(4088, 8), std::string("data\0\0\0\0", 8));
}

TEST(UploadDecoder, ReadsTheClientImageFromOffset4096) {
    const std::vector<float> clip = tone(11.0, 440.0);
    const audio::UploadDecoder decoder(30.0);
    const audio::DecodedUpload d = decoder.decode(micsim::MicSimulator::clientImage(clip));
    ASSERT_EQ(d.status, 0) << d.reason;
    ASSERT_EQ(d.samples.size(), 88000u);
    for (size_t i = 0; i < 88000; i += 997)
        EXPECT_NEAR(d.samples[i], clip[i], 1.0 / 16384);
}

TEST(UploadDecoder, ReadsOrdinaryWavsOfAnyRateAndChannels) {
    const std::vector<float> clip = tone(3.0, 440.0);
    const audio::UploadDecoder decoder(30.0);
    for (int rate : {8000, 16000, 44100})
        for (int channels : {1, 2}) {
            const audio::DecodedUpload d = decoder.decode(test::wavBytes(clip, rate, channels));
            ASSERT_EQ(d.status, 0) << rate << " Hz " << channels << " ch: " << d.reason;
            EXPECT_NEAR(static_cast<double>(d.samples.size()), 24000.0, 50.0) << rate << " Hz " << channels << " ch";
        }
}

TEST(UploadDecoder, RefusesEmptyTruncatedAndNonAudioBodies) {
    const audio::UploadDecoder decoder(30.0);
    const std::string image = micsim::MicSimulator::clientImage(tone(11.0, 440.0));
    EXPECT_EQ(decoder.decode("").status, 400);
    EXPECT_EQ(decoder.decode(image.substr(0, 100000)).status, 400);
    EXPECT_EQ(decoder.decode(image.substr(0, 40)).status, 400);
    EXPECT_EQ(decoder.decode(image + "extra").status, 400);
    EXPECT_EQ(decoder.decode(std::string(5000, 'x')).status, 415);
    EXPECT_EQ(decoder.decode("<html><body>not a song</body></html>").status, 415);
    // A well-formed WAV holding less than a second of sound.
    EXPECT_EQ(decoder.decode(test::wavBytes(tone(0.2, 440.0), 8000, 1)).status, 400);
    const audio::DecodedUpload truncatedWav = decoder.decode(test::wavBytes(tone(3.0, 440.0), 8000, 1).substr(0, 30));
    EXPECT_GE(truncatedWav.status, 400);
    EXPECT_FALSE(truncatedWav.reason.empty());
}
