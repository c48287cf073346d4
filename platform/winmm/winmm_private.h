// winmm's private header: which audio backends the emulated phone uses, shared by
// the wave-in device (wavein.cpp) and PlaySoundW (playsound.cpp).
#pragma once

#include <mmsystem.h>

#include <memory>

#include "backends/audio/AudioBackend.h"

namespace winmm {

// The microphone for one opened wave-in device, delivering mono 16-bit samples at `rate`: the
// --mic file, else silence when headless, else the host's microphone through SDL (silence, with
// one line on standard error, when SDL cannot capture). Null with *failure set to an MMSYSERR_*
// code when the --mic file cannot be read: the phone then has no working microphone.
std::unique_ptr<device::CaptureStream> OpenCapture(int rate, MMRESULT* failure);

// The loudspeaker, opened on first use and kept for the process; null when there is none
// (headless, or SDL audio cannot open: one line on standard error, sounds are then silent).
device::AudioOutput* Output();

}  // namespace winmm
