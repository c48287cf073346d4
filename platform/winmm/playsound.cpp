// PlaySoundW: the listening and analyzing screens' start sounds, WAVE resources 159 and 160 played
// with SND_RESOURCE | SND_ASYNC. The sound is decoded with libsndfile (from memory, through its
// virtual I/O) and handed to the loudspeaker backend; headless, nothing is heard but the call is
// traced ("winmm: PlaySoundW #159") and answers as Windows would.
#include <sndfile.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "device/Device.h"
#include "device/Trace.h"
#include "kernel32/module.h"
#include "winmm/winmm_private.h"

namespace winmm {
namespace {

// libsndfile's virtual I/O over a span of bytes.
struct MemoryFile {
  std::span<const unsigned char> bytes;
  sf_count_t pos = 0;
};

sf_count_t MemLength(void* user) { return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size()); }

sf_count_t MemSeek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  const auto size = static_cast<sf_count_t>(f->bytes.size());
  sf_count_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? size : 0;
  f->pos = std::clamp<sf_count_t>(base + offset, 0, size);
  return f->pos;
}

sf_count_t MemRead(void* out, sf_count_t count, void* user) {
  auto* f = static_cast<MemoryFile*>(user);
  const sf_count_t n = std::min(count, static_cast<sf_count_t>(f->bytes.size()) - f->pos);
  std::memcpy(out, f->bytes.data() + f->pos, static_cast<size_t>(n));
  f->pos += n;
  return n;
}

sf_count_t MemWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t MemTell(void* user) { return static_cast<MemoryFile*>(user)->pos; }

// A WAV image (or any format libsndfile reads) to 16-bit samples; false when it is not a sound.
bool Decode(std::span<const unsigned char> bytes, device::Sound* sound) {
  SF_VIRTUAL_IO io{MemLength, MemSeek, MemRead, MemWrite, MemTell};
  MemoryFile file{bytes, 0};
  SF_INFO info{};
  SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &file);
  if (!sf) return false;
  bool ok = info.channels > 0 && info.samplerate > 0 && info.frames >= 0;
  if (ok) {
    sound->rate = info.samplerate;
    sound->channels = info.channels;
    sound->samples.resize(static_cast<size_t>(info.frames) * static_cast<size_t>(info.channels));
    const sf_count_t got = sf_readf_short(sf, sound->samples.data(), info.frames);
    sound->samples.resize(static_cast<size_t>(got) * static_cast<size_t>(info.channels));
  }
  sf_close(sf);
  return ok;
}

// The size of a RIFF image in memory (SND_MEMORY gives only a pointer): the RIFF chunk's own
// size plus its 8-byte header.
std::span<const unsigned char> RiffImage(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  if (std::memcmp(b, "RIFF", 4) != 0) return {};
  const uint32_t size = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<uint32_t>(b[7]) << 24);
  return {b, static_cast<size_t>(size) + 8};
}

std::string Narrow(LPCWSTR text) {
  std::string s;
  for (LPCWSTR p = text; *p; ++p) s += (*p < 0x80) ? static_cast<char>(*p) : '?';
  return s;
}

// How the trace names the sound: "#159" for a resource (as the program names it), else the
// kind and name.
std::string Describe(LPCWSTR name, DWORD flags) {
  if ((flags & SND_RESOURCE) == SND_RESOURCE) {
    if (IS_INTRESOURCE(name)) return "#" + std::to_string(reinterpret_cast<uintptr_t>(name));
    return Narrow(name);
  }
  if (flags & SND_MEMORY) return "memory";
  return Narrow(name);
}

}  // namespace
}  // namespace winmm

BOOL PlaySoundW(LPCWSTR pszSound, HMODULE hmod, DWORD fdwSound) {
  device::AudioOutput* output = winmm::Output();
  // A null name, or SND_PURGE, stops the sound that is playing.
  if (pszSound == nullptr || (fdwSound & SND_PURGE)) {
    TRACE_CALL("winmm", "PlaySoundW stop");
    if (output) output->stop();
    return TRUE;
  }
  const std::string name = winmm::Describe(pszSound, fdwSound);
  TRACE_CALL("winmm", "PlaySoundW %s", name.c_str());

  std::span<const unsigned char> bytes;
  std::vector<unsigned char> fileBytes;
  if ((fdwSound & SND_RESOURCE) == SND_RESOURCE) {
    bytes = platform::FindResourceBytes(hmod, pszSound, u"WAVE");
  } else if (fdwSound & SND_MEMORY) {
    bytes = winmm::RiffImage(pszSound);
  } else if (!(fdwSound & SND_ALIAS)) {
    // A file name: a device path on the phone's storage.
    std::ifstream in(device::HostPath(pszSound), std::ios::binary);
    fileBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    bytes = fileBytes;
  }
  // The phone has no registry sound aliases and no default sound, so a sound that cannot be
  // found plays nothing and PlaySoundW returns FALSE, with or without SND_NODEFAULT.
  device::Sound sound;
  if (bytes.empty() || !winmm::Decode(bytes, &sound)) {
    TRACE_CALL("winmm", "PlaySoundW %s -> FALSE (not found)", name.c_str());
    return FALSE;
  }
  if (!output) return TRUE;  // no loudspeaker: the sound "plays" silently at once
  // SND_NOSTOP: a sound already playing is not interrupted and this one is not played.
  if ((fdwSound & SND_NOSTOP) && output->playing()) return FALSE;
  output->play(sound);
  // SND_SYNC (no SND_ASYNC) returns after the sound has ended.
  if (!(fdwSound & SND_ASYNC)) output->drain();
  return TRUE;
}
