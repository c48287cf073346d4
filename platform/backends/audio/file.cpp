// The file microphone (--mic FILE): a sound file played into the device, like SDL's
// disk driver. libsndfile reads any rate and channel count; the channels are averaged to mono
// and libsoxr resamples to the rate the wave-in device was opened with, so an 8000 Hz recording
// of a 44.1 kHz stereo file holds the file's own sound. The file plays from its start when the
// device is opened for a recording and is followed by silence.
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>

#include "backends/audio/AudioBackend.h"

namespace device {
namespace {

class FileCapture final : public CaptureStream {
 public:
  explicit FileCapture(std::vector<int16_t> samples) : samples_(std::move(samples)) {}
  void start() override {}
  void stop() override {}
  void read(std::span<int16_t> out) override {
    size_t have = pos_ < samples_.size() ? std::min(out.size(), samples_.size() - pos_) : 0;
    std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(pos_), have, out.begin());
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(have), out.end(), int16_t{0});
    pos_ += out.size();
  }

 private:
  std::vector<int16_t> samples_;
  size_t pos_ = 0;  // samples delivered, silence past the end included
};

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};

// The whole file as mono floats at its own rate.
bool ReadMono(const std::string& path, std::vector<float>* mono, int* rate, std::string* error) {
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    *error = sf_strerror(nullptr);
    return false;
  }
  if (info.channels < 1 || info.samplerate < 1) {
    *error = "no channels or no sample rate";
    return false;
  }
  const auto channels = static_cast<size_t>(info.channels);
  std::vector<float> block(4096 * channels);
  for (;;) {
    sf_count_t frames = sf_readf_float(file.get(), block.data(), 4096);
    if (frames <= 0) break;
    for (sf_count_t f = 0; f < frames; ++f) {
      float sum = 0;
      for (size_t c = 0; c < channels; ++c) sum += block[static_cast<size_t>(f) * channels + c];
      mono->push_back(sum / static_cast<float>(channels));
    }
  }
  *rate = info.samplerate;
  return true;
}

}  // namespace

std::unique_ptr<CaptureStream> OpenFileCapture(const std::string& path, int rate, std::string* error) {
  std::vector<float> mono;
  int fileRate = 0;
  if (!ReadMono(path, &mono, &fileRate, error)) return nullptr;
  std::vector<float> resampled;
  if (fileRate == rate) {
    resampled = std::move(mono);
  } else {
    // High quality, one channel, floats in and out; soxr_oneshot flushes the filter's tail.
    const double ratio = static_cast<double>(rate) / fileRate;
    resampled.resize(static_cast<size_t>(std::ceil(static_cast<double>(mono.size()) * ratio)) + 16);
    size_t done = 0;
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t e = soxr_oneshot(fileRate, rate, 1, mono.data(), mono.size(), nullptr,
                                  resampled.data(), resampled.size(), &done, nullptr, &quality,
                                  nullptr);
    if (e) {
      *error = e;
      return nullptr;
    }
    resampled.resize(done);
  }
  std::vector<int16_t> samples(resampled.size());
  std::transform(resampled.begin(), resampled.end(), samples.begin(), [](float v) {
    // libsndfile scales 16-bit samples by 1/32768; scaling back by 32768 keeps an 8000 Hz mono
    // 16-bit file's samples exactly as they are in the file.
    return static_cast<int16_t>(std::lround(std::clamp(v * 32768.0f, -32768.0f, 32767.0f)));
  });
  return std::make_unique<FileCapture>(std::move(samples));
}

}  // namespace device
