// Uploads built to hurt a decoder: headers announcing far more sound than follows, and a
// stream its codec leaks on. The load bench sends them under load; the service's tests send
// them once each.
#pragma once

#include <string>

namespace melodex::loadbench {

// A FLAC stream header claiming 8 channels, 384 kHz, 24 bits and 2^36 - 1 frames, with no audio.
std::string hostileFlac();
// A WAV header announcing gigabytes of 8-channel 384 kHz float sound, followed by 60 bytes.
std::string hostileWav();
// One Ogg page holding only a Vorbis identification header (mono, 44.1 kHz), 58 bytes: the
// codec allocates its setup, the missing comment header fails the open, and the setup leaks.
std::string malformedOgg();

} // namespace melodex::loadbench
