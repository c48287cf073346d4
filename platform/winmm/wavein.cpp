// The wave-in device: waveInOpen … waveInClose with Windows' semantics on the device clock (the
// recorder's microphone). A buffer of N bytes is done when N bytes of audio have been captured, N /
// nAvgBytesPerSec seconds of clock time after waveInStart — 176000 bytes at 16000 B/s are exactly
// 11000 ms — and is then handed back: dwBytesRecorded set, WHDR_DONE set, WHDR_INQUEUE cleared,
// MM_WIM_DATA posted to the callback window.
//
// Samples are pulled by time: whenever the device looks at the clock (a buffer's completion
// event, waveInStop, waveInReset, waveInAddBuffer) it takes from the microphone exactly the
// frames that the elapsed time holds and writes them into the buffer at the head of the queue.
// A buffer is written only while it is queued, under the device table's lock, so nothing is
// written into a buffer after it was handed back.
//
// Threads: the recording thread opens and starts, the user-interface thread stops, resets and
// closes, and the completion event runs on the clock's scheduler thread (real clock) or inside
// the test's advance (virtual clock). One mutex guards the table and every device; messages are
// posted under it so that MM_WIM_DATA keeps the queue's order. Lock order: winmm, then user32
// (PostMessageW) or the clock; neither ever calls back into winmm.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "device/Clock.h"
#include "device/Device.h"
#include "device/Trace.h"
#include "winmm/winmm_private.h"

namespace winmm {
namespace {

using device::Clock;

struct WaveIn {
  uintptr_t key = 0;
  WAVEFORMATEX format{};
  HWND callbackWindow = nullptr;  // null for CALLBACK_NULL: no messages
  std::unique_ptr<device::CaptureStream> capture;
  std::deque<LPWAVEHDR> queue;    // added buffers, the head being filled
  bool running = false;           // between waveInStart and waveInStop / waveInReset
  uint64_t runStartMs = 0;        // clock time of the last waveInStart
  uint64_t framesPulled = 0;      // frames taken from the microphone since runStartMs
  uint64_t eventToken = 0;        // changes on every reschedule: an outdated event does nothing
  std::optional<Clock::EventId> event;
  std::vector<int16_t> scratch;
};

struct Table {
  std::mutex mutex;
  std::map<uintptr_t, std::unique_ptr<WaveIn>> devices;
  uintptr_t nextKey = 0x7A00;  // handle values, spaced by 8; never pointers
};

Table& table() {
  static auto* t = new Table();  // never destroyed: a clock event may run while the process ends
  return *t;
}

HWAVEIN HandleOf(const WaveIn& d) { return reinterpret_cast<HWAVEIN>(d.key); }

WaveIn* FindLocked(HWAVEIN hwi) {
  auto it = table().devices.find(reinterpret_cast<uintptr_t>(hwi));
  return it == table().devices.end() ? nullptr : it->second.get();
}

unsigned long Key(HWAVEIN hwi) { return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwi)); }

// Frames the microphone has captured by clock time `now` since the run began (whole frames).
uint64_t FramesAt(const WaveIn& d, uint64_t now) {
  return (now - d.runStartMs) * d.format.nSamplesPerSec / 1000;
}

// The first millisecond at which `frames` frames have been captured.
uint64_t TimeOfFrames(const WaveIn& d, uint64_t frames) {
  const uint64_t rate = d.format.nSamplesPerSec;
  return d.runStartMs + (frames * 1000 + rate - 1) / rate;
}

// Frames a buffer still takes. Only whole frames are recorded: a length that is not a multiple
// of nBlockAlign leaves its last partial frame unused.
uint64_t RoomFrames(const WaveIn& d, const WAVEHDR& h) {
  const DWORD align = d.format.nBlockAlign;
  const DWORD usable = h.dwBufferLength / align * align;
  return (usable - std::min(usable, h.dwBytesRecorded)) / align;
}

// Posts to the callback window, as CALLBACK_WINDOW asks (nothing for CALLBACK_NULL).
void Notify(const WaveIn& d, UINT message, LPARAM lParam) {
  if (d.callbackWindow)
    PostMessageW(d.callbackWindow, message, reinterpret_cast<WPARAM>(HandleOf(d)), lParam);
}

// Takes `frames` frames from the microphone and writes them at the end of what the head buffer
// holds, converted from mono 16-bit to the device's format (8-bit PCM is unsigned).
void Capture(WaveIn& d, WAVEHDR& h, uint64_t frames) {
  d.scratch.resize(frames);
  d.capture->read(d.scratch);
  const int channels = d.format.nChannels;
  auto* out = reinterpret_cast<unsigned char*>(h.lpData) + h.dwBytesRecorded;
  for (int16_t s : d.scratch) {
    for (int c = 0; c < channels; ++c) {
      if (d.format.wBitsPerSample == 8) {
        *out++ = static_cast<unsigned char>((s >> 8) + 128);
      } else {
        const auto u = static_cast<uint16_t>(s);
        *out++ = static_cast<unsigned char>(u & 0xFF);
        *out++ = static_cast<unsigned char>(u >> 8);
      }
    }
  }
  h.dwBytesRecorded += static_cast<DWORD>(frames * d.format.nBlockAlign);
}

// Audio captured while no buffer is queued is lost, as on Windows.
void Discard(WaveIn& d, uint64_t frames) {
  while (frames > 0) {
    const uint64_t n = std::min<uint64_t>(frames, 4096);
    d.scratch.resize(n);
    d.capture->read(d.scratch);
    frames -= n;
  }
}

// Hands the head buffer back to the program: done, out of the queue, MM_WIM_DATA posted.
void HandBackHead(WaveIn& d) {
  LPWAVEHDR h = d.queue.front();
  d.queue.pop_front();
  h->dwFlags = (h->dwFlags & ~static_cast<DWORD>(WHDR_INQUEUE)) | WHDR_DONE;
  h->lpNext = nullptr;
  TRACE_CALL("winmm", "MM_WIM_DATA hwi=%lu bytes=%lu at=%llu", static_cast<unsigned long>(d.key),
             static_cast<unsigned long>(h->dwBytesRecorded),
             static_cast<unsigned long long>(Clock::now()));
  Notify(d, MM_WIM_DATA, reinterpret_cast<LPARAM>(h));
}

// Brings the buffers up to clock time `now`: fills the head with the frames captured so far and
// hands back every buffer that became full.
void Pump(WaveIn& d, uint64_t now) {
  if (!d.running) return;
  const uint64_t due = FramesAt(d, now);
  while (d.framesPulled < due) {
    const uint64_t todo = due - d.framesPulled;
    if (d.queue.empty()) {
      Discard(d, todo);
      d.framesPulled = due;
      break;
    }
    WAVEHDR& head = *d.queue.front();
    const uint64_t n = std::min(todo, RoomFrames(d, head));
    Capture(d, head, n);
    d.framesPulled += n;
    if (RoomFrames(d, head) == 0) HandBackHead(d);
  }
  // A buffer too short for one frame is full at once.
  while (!d.queue.empty() && RoomFrames(d, *d.queue.front()) == 0) HandBackHead(d);
}

void OnDue(uintptr_t key, uint64_t token);

// Cancels the pending completion event and, while the device runs with a buffer queued,
// schedules the next one at the millisecond the head buffer becomes full.
void Reschedule(WaveIn& d) {
  ++d.eventToken;
  if (d.event) Clock::cancel(*d.event);
  d.event.reset();
  if (!d.running || d.queue.empty()) return;
  const uint64_t at = TimeOfFrames(d, d.framesPulled + RoomFrames(d, *d.queue.front()));
  const uintptr_t key = d.key;
  const uint64_t token = d.eventToken;
  d.event = Clock::schedule(at, [key, token] { OnDue(key, token); });
}

// The head buffer's completion time has come (scheduler thread, or the test's advance).
void OnDue(uintptr_t key, uint64_t token) {
  std::lock_guard<std::mutex> lk(table().mutex);
  auto it = table().devices.find(key);
  // Closed, stopped or rescheduled after this event was taken from the clock: nothing to do.
  if (it == table().devices.end() || it->second->eventToken != token) return;
  WaveIn& d = *it->second;
  d.event.reset();
  Pump(d, Clock::now());
  Reschedule(d);
}

// PCM that the backends can deliver: they capture mono 16-bit at any rate, and winmm converts
// to 8-bit and to two channels. Anything else is WAVERR_BADFORMAT, as a Windows driver answers.
bool SupportedFormat(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f.nChannels != 1 && f.nChannels != 2) return false;
  if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
  if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 192000) return false;
  if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8) return false;
  return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

// The checks every header call makes first (Wine's order): the record, then the handle.
MMRESULT CheckHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh, WaveIn** device) {
  // The client passes sizeof(WAVEHDR), 32 on the phone; any other size is refused.
  if (pwh == nullptr || cbwh != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  *device = FindLocked(hwi);
  return *device ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE;
}

MMRESULT Traced(const char* call, HWAVEIN hwi, MMRESULT result) {
  TRACE_CALL("winmm", "%s hwi=%lu -> %u", call, Key(hwi), result);
  return result;
}

}  // namespace
}  // namespace winmm

using winmm::table;
using winmm::WaveIn;
using device::Clock;

// The phone has one microphone.
UINT waveInGetNumDevs(void) { return 1; }

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen) {
  (void)dwInstance;  // only a CALLBACK_FUNCTION would receive it
  auto result = [&](MMRESULT r) {
    TRACE_CALL("winmm", "waveInOpen device=%d rate=%lu ch=%u bits=%u flags=0x%lx -> %u",
               static_cast<int>(uDeviceID), pwfx ? static_cast<unsigned long>(pwfx->nSamplesPerSec) : 0UL,
               pwfx ? pwfx->nChannels : 0U, pwfx ? pwfx->wBitsPerSample : 0U,
               static_cast<unsigned long>(fdwOpen), r);
    return r;
  };
  if (phwi) *phwi = nullptr;
  // Fault injection (--mic-fault): the device fails as a phone's driver would.
  if (int fault = device::options().waveInOpenFault; fault != 0)
    return result(static_cast<MMRESULT>(fault));
  if (pwfx == nullptr) return result(MMSYSERR_INVALPARAM);
  if (uDeviceID != WAVE_MAPPER && uDeviceID != 0) return result(MMSYSERR_BADDEVICEID);
  const DWORD callbackType = fdwOpen & CALLBACK_TYPEMASK;
  HWND window = nullptr;
  if (callbackType == CALLBACK_WINDOW) {
    window = reinterpret_cast<HWND>(dwCallback);
    // As Windows: a callback window that is not a window is a bad parameter (a null one is none).
    if (window && !IsWindow(window)) return result(MMSYSERR_INVALPARAM);
  } else if (callbackType != CALLBACK_NULL) {
    // Function, thread and event callbacks are not used by the program.
    return result(MMSYSERR_NOTSUPPORTED);
  }
  if (!winmm::SupportedFormat(*pwfx)) return result(WAVERR_BADFORMAT);
  if (fdwOpen & WAVE_FORMAT_QUERY) return result(MMSYSERR_NOERROR);
  if (phwi == nullptr) return result(MMSYSERR_INVALPARAM);

  MMRESULT failure = MMSYSERR_NOERROR;
  auto capture = winmm::OpenCapture(static_cast<int>(pwfx->nSamplesPerSec), &failure);
  if (!capture) return result(failure ? failure : MMSYSERR_NODRIVER);
  {
    std::lock_guard<std::mutex> lk(table().mutex);
    auto d = std::make_unique<WaveIn>();
    d->key = table().nextKey;
    table().nextKey += 8;
    d->format = *pwfx;
    d->format.cbSize = 0;
    d->callbackWindow = window;
    d->capture = std::move(capture);
    *phwi = winmm::HandleOf(*d);
    winmm::Notify(*d, MM_WIM_OPEN, 0);
    table().devices.emplace(d->key, std::move(d));
  }
  TRACE_CALL("winmm", "waveInOpen hwi=%lu", winmm::Key(*phwi));
  return result(MMSYSERR_NOERROR);
}

MMRESULT waveInClose(HWAVEIN hwi) {
  std::unique_ptr<WaveIn> closed;  // destroyed after the lock: closing a real microphone waits
  {
    std::lock_guard<std::mutex> lk(table().mutex);
    auto it = table().devices.find(reinterpret_cast<uintptr_t>(hwi));
    if (it == table().devices.end()) return winmm::Traced("waveInClose", hwi, MMSYSERR_INVALHANDLE);
    WaveIn& d = *it->second;
    // Windows refuses to close while buffers are queued; waveInReset hands them back first.
    if (!d.queue.empty()) return winmm::Traced("waveInClose", hwi, WAVERR_STILLPLAYING);
    d.running = false;
    winmm::Reschedule(d);  // cancels any pending event
    winmm::Notify(d, MM_WIM_CLOSE, 0);
    closed = std::move(it->second);
    table().devices.erase(it);
  }
  closed->capture->stop();
  return winmm::Traced("waveInClose", hwi, MMSYSERR_NOERROR);
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  std::lock_guard<std::mutex> lk(table().mutex);
  WaveIn* d = nullptr;
  MMRESULT r = winmm::CheckHeader(hwi, pwh, cbwh, &d);
  if (r != MMSYSERR_NOERROR) return winmm::Traced("waveInPrepareHeader", hwi, r);
  if (pwh->dwFlags & WHDR_INQUEUE) return winmm::Traced("waveInPrepareHeader", hwi, WAVERR_STILLPLAYING);
  // Preparing a prepared header succeeds and changes nothing (the recorder prepares it again before
  // every recording without unpreparing it).
  if (!(pwh->dwFlags & WHDR_PREPARED)) pwh->dwFlags = (pwh->dwFlags | WHDR_PREPARED) & ~static_cast<DWORD>(WHDR_DONE);
  return winmm::Traced("waveInPrepareHeader", hwi, MMSYSERR_NOERROR);
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  std::lock_guard<std::mutex> lk(table().mutex);
  WaveIn* d = nullptr;
  MMRESULT r = winmm::CheckHeader(hwi, pwh, cbwh, &d);
  if (r != MMSYSERR_NOERROR) return winmm::Traced("waveInUnprepareHeader", hwi, r);
  if (pwh->dwFlags & WHDR_INQUEUE) return winmm::Traced("waveInUnprepareHeader", hwi, WAVERR_STILLPLAYING);
  pwh->dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
  return winmm::Traced("waveInUnprepareHeader", hwi, MMSYSERR_NOERROR);
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh) {
  std::lock_guard<std::mutex> lk(table().mutex);
  WaveIn* d = nullptr;
  MMRESULT r = winmm::CheckHeader(hwi, pwh, cbwh, &d);
  if (r != MMSYSERR_NOERROR) return winmm::Traced("waveInAddBuffer", hwi, r);
  if (!(pwh->dwFlags & WHDR_PREPARED)) return winmm::Traced("waveInAddBuffer", hwi, WAVERR_UNPREPARED);
  if (pwh->dwFlags & WHDR_INQUEUE) return winmm::Traced("waveInAddBuffer", hwi, WAVERR_STILLPLAYING);
  if (pwh->lpData == nullptr && pwh->dwBufferLength > 0)
    return winmm::Traced("waveInAddBuffer", hwi, MMSYSERR_INVALPARAM);
  // Audio captured before this buffer arrived is lost; it fills from now on.
  winmm::Pump(*d, Clock::now());
  pwh->dwFlags = (pwh->dwFlags | WHDR_INQUEUE) & ~static_cast<DWORD>(WHDR_DONE);
  pwh->dwBytesRecorded = 0;
  pwh->lpNext = nullptr;
  d->queue.push_back(pwh);
  winmm::Reschedule(*d);
  TRACE_CALL("winmm", "waveInAddBuffer hwi=%lu bytes=%lu -> 0", winmm::Key(hwi),
             static_cast<unsigned long>(pwh->dwBufferLength));
  return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN hwi) {
  std::lock_guard<std::mutex> lk(table().mutex);
  // Fault injection for tests, as waveInOpenFault: the driver refuses to start (the recorder's
  // start failure); the device and its queue stay as they are.
  if (int fault = device::options().waveInStartFault; fault != 0)
    return winmm::Traced("waveInStart", hwi, static_cast<MMRESULT>(fault));
  WaveIn* d = winmm::FindLocked(hwi);
  if (!d) return winmm::Traced("waveInStart", hwi, MMSYSERR_INVALHANDLE);
  // Starting a started device changes nothing.
  if (!d->running) {
    d->running = true;
    d->runStartMs = Clock::now();
    d->framesPulled = 0;
    d->capture->start();
    winmm::Reschedule(*d);
  }
  TRACE_CALL("winmm", "waveInStart hwi=%lu at=%llu -> 0", winmm::Key(hwi),
             static_cast<unsigned long long>(d->runStartMs));
  return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN hwi) {
  std::lock_guard<std::mutex> lk(table().mutex);
  WaveIn* d = winmm::FindLocked(hwi);
  if (!d) return winmm::Traced("waveInStop", hwi, MMSYSERR_INVALHANDLE);
  if (d->running) {
    winmm::Pump(*d, Clock::now());
    d->running = false;
    d->capture->stop();
    // Win32: "the current buffer is marked as done (dwBytesRecorded holds the length of the
    // data), but any empty buffers in the queue remain there."
    if (!d->queue.empty()) winmm::HandBackHead(*d);
    winmm::Reschedule(*d);
  }
  return winmm::Traced("waveInStop", hwi, MMSYSERR_NOERROR);
}

MMRESULT waveInReset(HWAVEIN hwi) {
  std::lock_guard<std::mutex> lk(table().mutex);
  WaveIn* d = winmm::FindLocked(hwi);
  if (!d) return winmm::Traced("waveInReset", hwi, MMSYSERR_INVALHANDLE);
  if (d->running) {
    winmm::Pump(*d, Clock::now());
    d->running = false;
    d->capture->stop();
  }
  // Win32: stops input and returns every pending buffer marked done, in queue order.
  while (!d->queue.empty()) winmm::HandBackHead(*d);
  winmm::Reschedule(*d);
  return winmm::Traced("waveInReset", hwi, MMSYSERR_NOERROR);
}
