// The audio contract: the phone's microphone (capture) and its loudspeaker (output), behind one
// small interface each (SDL's audio drivers as the model). Backends: file (a sound file played into
// the microphone, --mic), silence (zeros, and no output) and sdl (the host's real microphone and
// speaker). winmm picks one (platform/winmm/backends.cpp) and is the only caller; it serialises the
// calls on a stream under its own lock.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace device {

// One capture: mono, signed 16-bit samples at the rate it was opened with. The wave-in device
// pulls samples by time — N samples once N / rate seconds have passed on the device clock — so a
// stream never runs ahead of the clock and the virtual clock needs no real time.
class CaptureStream {
 public:
  virtual ~CaptureStream() = default;
  // Capture runs between start and stop (waveInStart / waveInStop); the file plays on from
  // where it was.
  virtual void start() = 0;
  virtual void stop() = 0;
  // Fills `out` with the next out.size() samples; samples the source does not have (the end of
  // a file, a late real microphone) are silence.
  virtual void read(std::span<int16_t> out) = 0;
};

// Zeros for ever: the headless microphone when no --mic is given.
std::unique_ptr<CaptureStream> OpenSilenceCapture();
// The sound file at `path` (any format, rate and channel count libsndfile reads), mixed down to
// mono and resampled to `rate` with libsoxr, played from its start and followed by silence.
// Null (and `error` set) when the file cannot be read.
std::unique_ptr<CaptureStream> OpenFileCapture(const std::string& path, int rate, std::string* error);
// The host's default microphone through SDL2, converted by SDL to `rate` mono 16-bit. Null
// (and `error` set) when the host lists no capture device or SDL audio cannot open one.
std::unique_ptr<CaptureStream> OpenSdlCapture(int rate, std::string* error);

// A decoded sound: interleaved signed 16-bit samples.
struct Sound {
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;
};

// The loudspeaker: one sound at a time, as PlaySoundW has (a new sound replaces the old one).
class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  // Starts `sound` at once, stopping whatever was playing.
  virtual void play(const Sound& sound) = 0;
  virtual void stop() = 0;
  virtual bool playing() = 0;
  // Returns when the current sound has ended (PlaySoundW with SND_SYNC).
  virtual void drain() = 0;
};

// The SDL2 default output device. Null (and `error` set) when SDL audio cannot open it.
std::unique_ptr<AudioOutput> OpenSdlOutput(std::string* error);

}  // namespace device
