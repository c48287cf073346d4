// The windowed phone's microphone is the host's, through SDL2's capture: a sound server of the
// test's own plays a song on its loudspeaker, and the wave-in device, opened as the recorder
// opens it, records 11 s of the real clock through SDL from the server's microphone. A host
// without a microphone lets the phone hear the --mic-fallback file instead.
#include <gtest/gtest.h>

#include <mmsystem.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "backends/audio/AudioBackend.h"
#include "device/Clock.h"
#include "device/Device.h"
#include "support/HostServers.h"

namespace {

using melodex_test::Excerpt;
using melodex_test::PointSdlAt;
using melodex_test::SoundServer;
using melodex_test::TempFolder;

constexpr int kRate = 8000;
const std::string kMusic = "/usr/share/games/wesnoth/1.16/data/core/music/";

// A sound file as the phone would hear it when nothing is in the way: 8000 Hz mono.
std::vector<int16_t> AtPhoneRate(const std::string& file, size_t samples) {
  std::string error;
  auto stream = device::OpenFileCapture(file, kRate, &error);
  EXPECT_NE(stream, nullptr) << error;
  std::vector<int16_t> out(samples);
  if (stream) stream->read(out);
  return out;
}

// Records a `seconds`-long buffer from the windowed phone's microphone on the real clock, as
// the recorder does (8000 Hz, 16-bit, mono), and returns its samples; empty when the device
// did not hand the buffer back full.
std::vector<int16_t> RecordFromTheHost(int seconds) {
  device::options().headless = false;
  device::Clock::useVirtual(false);
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16, 0};
  HWAVEIN hwi = nullptr;
  EXPECT_EQ(waveInOpen(&hwi, WAVE_MAPPER, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::vector<char> data(static_cast<size_t>(seconds) * kRate * 2);
  WAVEHDR header{};
  header.lpData = data.data();
  header.dwBufferLength = static_cast<DWORD>(data.size());
  EXPECT_EQ(waveInPrepareHeader(hwi, &header, sizeof header), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInAddBuffer(hwi, &header, sizeof header), MMSYSERR_NOERROR);
  const uint64_t start = device::Clock::now();
  EXPECT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);
  const uint64_t due = start + static_cast<uint64_t>(seconds) * 1000;
  while (device::Clock::now() < due + 200) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  // waveInReset takes the device's lock: what the completion wrote is visible after it.
  waveInReset(hwi);
  const bool full = (header.dwFlags & WHDR_DONE) && header.dwBytesRecorded == data.size();
  waveInUnprepareHeader(hwi, &header, sizeof header);
  waveInClose(hwi);
  if (!full) return {};
  std::vector<int16_t> samples(data.size() / 2);
  std::memcpy(samples.data(), data.data(), data.size());
  return samples;
}

// The samples up to the last one that is not silence: a real microphone starts a little late,
// and what it has not delivered by the buffer's end is silence.
size_t HeardLength(const std::vector<int16_t>& heard) {
  size_t n = heard.size();
  while (n > 0 && heard[n - 1] == 0) --n;
  return n;
}

double Similarity(const std::vector<int16_t>& heard, size_t n, const std::vector<int16_t>& source, size_t lag) {
  double xy = 0, xx = 0, yy = 0;
  for (size_t i = 0; i < n; ++i) {
    const double x = heard[i], y = source[i + lag];
    xy += x * y;
    xx += x * x;
    yy += y * y;
  }
  return xx > 0 && yy > 0 ? xy / std::sqrt(xx * yy) : 0.0;
}

// How well the first n heard samples match the source at the best lag within maxLag samples
// (heard[i] against source[i + lag]), as a normalised correlation: 1 is the same waveform. The
// lag is found on 10 ms loudness envelopes first, then sample by sample around it.
double BestSimilarity(const std::vector<int16_t>& heard, size_t n, const std::vector<int16_t>& source, size_t maxLag) {
  constexpr size_t kFrame = 80;
  auto envelope = [](const std::vector<int16_t>& s, size_t count) {
    std::vector<double> e(count / kFrame);
    for (size_t f = 0; f < e.size(); ++f)
      for (size_t i = 0; i < kFrame; ++i) e[f] += std::abs(static_cast<double>(s[f * kFrame + i]));
    return e;
  };
  const std::vector<double> h = envelope(heard, n), s = envelope(source, source.size());
  size_t bestFrame = 0;
  double best = -1;
  for (size_t lag = 0; lag <= maxLag / kFrame && lag + h.size() <= s.size(); ++lag) {
    double hs = 0, hh = 0, ss = 0, mh = 0, ms = 0;
    for (size_t f = 0; f < h.size(); ++f) mh += h[f], ms += s[f + lag];
    mh /= static_cast<double>(h.size());
    ms /= static_cast<double>(h.size());
    for (size_t f = 0; f < h.size(); ++f) {
      hs += (h[f] - mh) * (s[f + lag] - ms);
      hh += (h[f] - mh) * (h[f] - mh);
      ss += (s[f + lag] - ms) * (s[f + lag] - ms);
    }
    const double r = hh > 0 && ss > 0 ? hs / std::sqrt(hh * ss) : 0;
    if (r > best) best = r, bestFrame = lag;
  }
  double similarity = 0;
  const size_t centre = bestFrame * kFrame;
  for (size_t lag = centre > 2 * kFrame ? centre - 2 * kFrame : 0; lag <= centre + 2 * kFrame; ++lag)
    if (lag + n <= source.size()) similarity = std::max(similarity, Similarity(heard, n, source, lag));
  return similarity;
}

TEST(HostMicrophone, RecordsWhatTheRoomsLoudspeakerPlays) {
  TempFolder folder("melodex-capture-test");
  SoundServer sound(/*withMicrophone=*/true);
  ASSERT_TRUE(sound.ready());
  const std::string song = Excerpt(folder, kMusic + "knolls.ogg", 30, 25);
  const std::string other = Excerpt(folder, kMusic + "battle.ogg", 30, 25);
  ASSERT_FALSE(song.empty() || other.empty());
  device::options().micFallback = other;  // a host with a microphone never falls back
  PointSdlAt(sound.clientEnv());
  ASSERT_TRUE(sound.play(song));

  const std::vector<int16_t> heard = RecordFromTheHost(11);
  ASSERT_EQ(heard.size(), 88000u) << "the 176000-byte buffer did not come back full after 11.0 s";
  // The sound server's microphone starts up to a second late; the device waits for it, so the
  // recording is sound to its end, not sound followed by silence.
  const size_t n = HeardLength(heard);
  EXPECT_EQ(n, heard.size());
  // The phone heard the song, not the fallback and not silence: the same waveform as the song
  // at 8000 Hz, a little later in it than the loudspeaker began.
  EXPECT_GT(BestSimilarity(heard, n, AtPhoneRate(song, 25 * kRate), 12 * kRate), 0.95);
  EXPECT_LT(BestSimilarity(heard, n, AtPhoneRate(other, 25 * kRate), 12 * kRate), 0.3);
}

TEST(HostMicrophone, WithoutOneThePhoneHearsTheFallbackFile) {
  TempFolder folder("melodex-capture-test");
  const std::string song = Excerpt(folder, kMusic + "knolls.ogg", 30, 25);
  const std::string fallback = Excerpt(folder, kMusic + "battle.ogg", 30, 25);
  ASSERT_FALSE(song.empty() || fallback.empty());
  device::options().micFallback = fallback;
  struct Host {
    const char* name;
    bool soundServer;
  };
  const Host hosts[] = {{"no sound server", false}, {"a sound server without a microphone", true}};
  for (const Host& h : hosts) {
    SCOPED_TRACE(h.name);
    std::unique_ptr<SoundServer> sound;
    if (h.soundServer) {
      sound = std::make_unique<SoundServer>(/*withMicrophone=*/false);
      ASSERT_TRUE(sound->ready());
      PointSdlAt(sound->clientEnv());
      ASSERT_TRUE(sound->play(song));
    } else {
      PointSdlAt({"PULSE_SERVER=unix:" + (folder / "nobody-listens"), "SDL_AUDIODRIVER=pulseaudio"});
    }
    const std::vector<int16_t> heard = RecordFromTheHost(2);
    ASSERT_EQ(heard.size(), 16000u);
    // The fallback plays from its start: sample for sample its first two seconds.
    EXPECT_EQ(heard, AtPhoneRate(fallback, 16000));
  }
}

}  // namespace
