// The host's real microphone and loudspeaker through SDL2 audio: used when the phone
// has a window and no --mic. SDL converts between the host's device format and the one asked for
// (allowed changes 0), so the wave-in device always gets its own rate, mono, 16-bit.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "backends/audio/AudioBackend.h"

namespace device {
namespace {

// SDL's subsystems are reference-counted: each stream holds one reference for its lifetime.
class SdlAudioRef {
 public:
  SdlAudioRef() : ok_(SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {}
  ~SdlAudioRef() {
    if (ok_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
  SdlAudioRef(const SdlAudioRef&) = delete;
  SdlAudioRef& operator=(const SdlAudioRef&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

class SdlCapture final : public CaptureStream {
 public:
  explicit SdlCapture(int rate) : maxQueued_(static_cast<size_t>(rate) * 60) {}
  ~SdlCapture() override {
    // Closing waits for SDL's audio thread to leave the callback, so nothing touches *this after.
    if (device_) SDL_CloseAudioDevice(device_);
  }
  SdlCapture(const SdlCapture&) = delete;
  SdlCapture& operator=(const SdlCapture&) = delete;

  bool open(int rate, std::string* error) {
    if (!sdl_.ok()) {
      *error = SDL_GetError();
      return false;
    }
    // A host without a capture device has no microphone, even when its sound server would open
    // a default source (the monitor of its speakers, which SDL does not list).
    if (SDL_GetNumAudioDevices(1) == 0) {
      *error = "no capture device";
      return false;
    }
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 1;
    want.samples = 512;
    want.callback = &SdlCapture::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
    if (device_ == 0) *error = SDL_GetError();
    return device_ != 0;
  }

  void start() override { SDL_PauseAudioDevice(device_, 0); }
  void stop() override { SDL_PauseAudioDevice(device_, 1); }

  void read(std::span<int16_t> out) override {
    std::unique_lock<std::mutex> lk(mutex_);
    // A real microphone delivers a little behind the clock: its stream starts up (a sound server
    // can take a second) and arrives in blocks. The read waits for the samples the clock says were
    // spoken, as a Windows driver hands a buffer back only once it is full, so a recording holds
    // its whole length of sound; what has still not arrived after the bound is silence.
    arrived_.wait_for(lk, kLateBound, [&] { return queued_.size() >= out.size(); });
    size_t have = std::min(out.size(), queued_.size());
    std::copy_n(queued_.begin(), have, out.begin());
    queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(have));
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(have), out.end(), int16_t{0});
  }

 private:
  static void Callback(void* userdata, Uint8* stream, int len) {
    auto* self = static_cast<SdlCapture*>(userdata);
    const auto* samples = reinterpret_cast<const int16_t*>(stream);
    {
      std::lock_guard<std::mutex> lk(self->mutex_);
      self->queued_.insert(self->queued_.end(), samples, samples + len / 2);
      // Bounded: a device nobody reads keeps only the last minute.
      if (self->queued_.size() > self->maxQueued_)
        self->queued_.erase(self->queued_.begin(),
                            self->queued_.end() - static_cast<std::ptrdiff_t>(self->maxQueued_));
    }
    self->arrived_.notify_all();
  }

  static constexpr std::chrono::milliseconds kLateBound{2000};

  SdlAudioRef sdl_;
  SDL_AudioDeviceID device_ = 0;
  size_t maxQueued_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<int16_t> queued_;
};

class SdlOutput final : public AudioOutput {
 public:
  ~SdlOutput() override {
    if (device_) SDL_CloseAudioDevice(device_);
  }
  SdlOutput() = default;
  SdlOutput(const SdlOutput&) = delete;
  SdlOutput& operator=(const SdlOutput&) = delete;

  bool ok(std::string* error) {
    if (!sdl_.ok()) {
      *error = SDL_GetError();
      return false;
    }
    // Probe once, so that a host without an output device is told at the first sound.
    return reopen(8000, 1, error);
  }

  void play(const Sound& sound) override {
    std::lock_guard<std::mutex> lk(mutex_);
    std::string ignored;
    if (sound.rate != rate_ || sound.channels != channels_) {
      if (!reopen(sound.rate, sound.channels, &ignored)) return;
    }
    SDL_ClearQueuedAudio(device_);
    SDL_QueueAudio(device_, sound.samples.data(),
                   static_cast<Uint32>(sound.samples.size() * sizeof(int16_t)));
    SDL_PauseAudioDevice(device_, 0);
  }
  void stop() override {
    std::lock_guard<std::mutex> lk(mutex_);
    if (device_) SDL_ClearQueuedAudio(device_);
  }
  bool playing() override {
    std::lock_guard<std::mutex> lk(mutex_);
    return device_ && SDL_GetQueuedAudioSize(device_) > 0;
  }
  void drain() override {
    // A real speaker plays in real time; SND_SYNC waits for it as Windows does.
    while (playing()) SDL_Delay(5);
  }

 private:
  bool reopen(int rate, int channels, std::string* error) {
    if (device_) SDL_CloseAudioDevice(device_);
    SDL_AudioSpec want{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(channels);
    want.samples = 1024;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      *error = SDL_GetError();
      rate_ = channels_ = 0;
      return false;
    }
    rate_ = rate;
    channels_ = channels;
    return true;
  }

  SdlAudioRef sdl_;
  std::mutex mutex_;
  SDL_AudioDeviceID device_ = 0;
  int rate_ = 0;
  int channels_ = 0;
};

}  // namespace

std::unique_ptr<CaptureStream> OpenSdlCapture(int rate, std::string* error) {
  auto capture = std::make_unique<SdlCapture>(rate);
  if (!capture->open(rate, error)) return nullptr;
  return capture;
}

std::unique_ptr<AudioOutput> OpenSdlOutput(std::string* error) {
  auto output = std::make_unique<SdlOutput>();
  if (!output->ok(error)) return nullptr;
  return output;
}

}  // namespace device
