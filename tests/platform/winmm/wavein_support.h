// Helpers of the winmm tests: the phone's recording format, a buffer with its header, and the times
// at which the recording window received MM_WIM_DATA.
#pragma once

#include <mmsystem.h>
#include <windows.h>

#include <cstdint>
#include <vector>

#include "device/TestDriver.h"
#include "platform/user32/recorder.h"

// 8000 Hz, 16-bit, mono: 16000 bytes a second (the recorder's device format).
inline WAVEFORMATEX PhoneFormat() {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = 8000;
  f.nAvgBytesPerSec = 16000;
  f.nBlockAlign = 2;
  f.wBitsPerSample = 16;
  return f;
}

// A buffer and its header, filled with a sentinel so that untouched bytes can be seen.
struct Buffer {
  explicit Buffer(DWORD bytes, unsigned char fill = 0x5A) : data(bytes, fill) {
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = bytes;
  }
  std::vector<unsigned char> data;
  WAVEHDR header{};
};

// Records, for every MM_WIM_* message, the clock time at which the window procedure ran.
struct WimLog {
  struct Entry {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    uint64_t at;
  };
  std::vector<Entry> entries;
  size_t count(UINT message) const {
    size_t n = 0;
    for (const Entry& e : entries) n += e.message == message;
    return n;
  }
  std::vector<UINT> messages() const {
    std::vector<UINT> out;
    for (const Entry& e : entries) out.push_back(e.message);
    return out;
  }
};

inline HWND CreateWimWindow(device::TestDriver& driver, WimLog& log) {
  HWND hwnd = CreateRecordingWindow();
  onMessage() = [&driver, &log](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m >= MM_WIM_OPEN && m <= MM_WIM_DATA) log.entries.push_back({m, w, l, driver.now()});
    return DefWindowProcW(h, m, w, l);
  };
  driver.runPending();
  return hwnd;
}

inline MMRESULT OpenPhoneDevice(HWAVEIN* hwi, HWND hwnd) {
  WAVEFORMATEX f = PhoneFormat();
  return waveInOpen(hwi, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(hwnd), 0, CALLBACK_WINDOW);
}

// Prepare and add, as the recorder's setupBuffer does.
inline MMRESULT Queue(HWAVEIN hwi, Buffer& b) {
  MMRESULT r = waveInPrepareHeader(hwi, &b.header, sizeof(WAVEHDR));
  if (r != MMSYSERR_NOERROR) return r;
  return waveInAddBuffer(hwi, &b.header, sizeof(WAVEHDR));
}
