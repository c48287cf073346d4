// Picks the phone's microphone and speaker backends: a --mic file wins; without one the headless
// phone hears silence and the windowed phone the host's real microphone, or, on a host without
// one, the --mic-fallback file (so that a demonstration names a song on any machine) or silence.
// Like the display (device/Display.cpp), a fake backend is only chosen when asked for or when the
// real one is unavailable.
#include <cstdio>
#include <mutex>
#include <string>

#include "device/Device.h"
#include "winmm/winmm_private.h"

namespace winmm {

std::unique_ptr<device::CaptureStream> OpenCapture(int rate, MMRESULT* failure) {
  const device::Options& o = device::options();
  std::string error;
  if (!o.mic.empty()) {
    auto stream = device::OpenFileCapture(o.mic, rate, &error);
    if (!stream) {
      fprintf(stderr, "melodex: cannot read the --mic file %s: %s\n", o.mic.c_str(), error.c_str());
      *failure = MMSYSERR_NODRIVER;
    }
    return stream;
  }
  if (o.headless) return device::OpenSilenceCapture();
  auto stream = device::OpenSdlCapture(rate, &error);
  if (stream) return stream;
  if (!o.micFallback.empty()) {
    std::string fallbackError;
    stream = device::OpenFileCapture(o.micFallback, rate, &fallbackError);
    if (stream) {
      static std::once_flag told;
      std::call_once(told, [&] {
        fprintf(stderr, "melodex: no microphone on this host (%s); the phone hears %s\n", error.c_str(),
                o.micFallback.c_str());
      });
      return stream;
    }
    error += "; cannot read the --mic-fallback file " + o.micFallback + ": " + fallbackError;
  }
  static std::once_flag told;
  std::call_once(told, [&] {
    fprintf(stderr, "melodex: no microphone (%s); recording silence\n", error.c_str());
  });
  return device::OpenSilenceCapture();
}

device::AudioOutput* Output() {
  // Never destroyed: a sound may still be playing while the process ends.
  static auto* output = new std::unique_ptr<device::AudioOutput>();
  static std::once_flag opened;
  std::call_once(opened, [] {
    if (device::options().headless) return;
    std::string error;
    *output = device::OpenSdlOutput(&error);
    if (!*output) fprintf(stderr, "melodex: no sound output (%s); sounds are silent\n", error.c_str());
  });
  return output->get();
}

}  // namespace winmm
