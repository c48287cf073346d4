// The microphone backends under the virtual clock: a --mic file of any rate and
// channel count is heard at 8000 Hz mono, from its start, followed by silence; an 11-second
// recording takes no real time (an 8000 Hz file landing sample for sample in the recording
// buffer is tested through RecordThreadProc, tests/audio).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>

#include "device/Device.h"
#include "support/WavFile.h"
#include "wavein_support.h"

namespace {

using melodex_test::WriteWav;

// Records one 176000-byte buffer (11 s) with the phone's format and returns its 88000 samples.
std::vector<int16_t> Record11Seconds(device::TestDriver& driver) {
  WimLog log;
  HWND hwnd = CreateWimWindow(driver, log);
  HWAVEIN hwi = nullptr;
  EXPECT_EQ(OpenPhoneDevice(&hwi, hwnd), MMSYSERR_NOERROR);
  Buffer b(176000);
  EXPECT_EQ(Queue(hwi, b), MMSYSERR_NOERROR);
  waveInStart(hwi);
  driver.advance(11000);
  EXPECT_EQ(log.count(MM_WIM_DATA), 1u);
  EXPECT_EQ(b.header.dwBytesRecorded, 176000u);
  waveInClose(hwi);
  std::vector<int16_t> samples(88000);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<int16_t>(b.data[2 * i] | (b.data[2 * i + 1] << 8));
  return samples;
}

std::string TempFile(const device::TestDriver& driver, const char* name) {
  return (std::filesystem::path(driver.root()) / name).string();
}

double Rms(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

// A 44.1 kHz stereo file of a 440 Hz tone (left at half scale, right at 0.3) is heard as the
// same tone at 8000 Hz, mono at the channels' average level 0.4, then silence after its 5 s.
TEST(WaveInMic, StereoFileAt44100HzIsConvertedAndPaddedWithSilence) {
  device::TestDriver driver;
  constexpr int kRate = 44100;
  constexpr double kTone = 440.0;
  std::vector<int16_t> file;
  for (int n = 0; n < kRate * 5; ++n) {
    const double v = std::sin(2 * std::numbers::pi * kTone * n / kRate);
    file.push_back(static_cast<int16_t>(std::lround(0.5 * 32767 * v)));
    file.push_back(static_cast<int16_t>(std::lround(0.3 * 32767 * v)));
  }
  device::options().mic = TempFile(driver, "tone.wav");
  WriteWav(device::options().mic, kRate, 2, file);
  std::vector<int16_t> recorded = Record11Seconds(driver);

  // The same tone generated at 8000 Hz: the resampled file matches it sample for sample,
  // within 1% of full scale (soxr keeps the phase).
  double worst = 0;
  for (size_t n = 800; n < 39200; ++n) {
    const double expected = 0.4 * 32767 * std::sin(2 * std::numbers::pi * kTone * static_cast<double>(n) / 8000);
    worst = std::max(worst, std::abs(recorded[n] - expected));
  }
  EXPECT_LT(worst, 0.01 * 32767);
  // Frequency by zero crossings over 4.8 s: 2 × 440 × 4.8 = 4224.
  int crossings = 0;
  for (size_t n = 801; n < 39200; ++n) crossings += (recorded[n - 1] < 0) != (recorded[n] < 0);
  EXPECT_NEAR(crossings, 4224, 4);
  // Level: the tone's RMS is 0.4 / √2 of full scale.
  EXPECT_NEAR(Rms(recorded, 800, 39200), 0.4 * 32767 / std::sqrt(2.0), 0.01 * 32767);
  // After the file's end: silence up to 11 s.
  EXPECT_EQ(Rms(recorded, 40100, 88000), 0.0);
}

TEST(WaveInMic, EachOpenPlaysTheFileFromItsStart) {
  device::TestDriver driver;
  std::vector<int16_t> file(8000 * 12);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<int16_t>(i % 30000);
  device::options().mic = TempFile(driver, "ramp.wav");
  WriteWav(device::options().mic, 8000, 1, file);
  std::vector<int16_t> first = Record11Seconds(driver);
  std::vector<int16_t> second = Record11Seconds(driver);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first[12345], 12345);
}

TEST(WaveInMic, UnreadableFileMeansNoDriver) {
  device::TestDriver driver;
  device::options().mic = TempFile(driver, "missing.wav");
  HWAVEIN hwi = nullptr;
  EXPECT_EQ(OpenPhoneDevice(&hwi, nullptr), static_cast<MMRESULT>(MMSYSERR_NODRIVER));
  EXPECT_EQ(hwi, nullptr);
}

TEST(WaveInMic, HeadlessWithoutMicRecordsSilence) {
  device::TestDriver driver;
  std::vector<int16_t> recorded = Record11Seconds(driver);
  EXPECT_EQ(Rms(recorded, 0, recorded.size()), 0.0);
}

}  // namespace
