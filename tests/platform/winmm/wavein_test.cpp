// Conformance tests of the wave-in device under the virtual clock: timing
// to the millisecond, the header flags, the messages, cancel, and the errors Windows returns.
#include <gtest/gtest.h>

#include "device/Boot.h"
#include "device/Clock.h"
#include "device/Device.h"
#include "wavein_support.h"

namespace {

constexpr DWORD kSampleBytes = 176000;  // 11.0 s at 16000 B/s

// A recording window whose MM_WIM_* messages are logged with their times.
class WaveIn : public ::testing::Test {
 protected:
  device::TestDriver driver;
  WimLog log;
  HWND hwnd = CreateWimWindow(driver, log);
  HWAVEIN hwi = nullptr;
  // Opens the phone's device on the window and queues the buffers in order.
  void openAndQueue(std::initializer_list<Buffer*> buffers) {
    ASSERT_EQ(OpenPhoneDevice(&hwi, hwnd), MMSYSERR_NOERROR);
    for (Buffer* b : buffers) ASSERT_EQ(Queue(hwi, *b), MMSYSERR_NOERROR);
  }
};

TEST_F(WaveIn, BufferIsDoneExactly11000MsAfterStart) {
  Buffer b(kSampleBytes);
  openAndQueue({&b});
  EXPECT_EQ(b.header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_INQUEUE));
  driver.advance(500);  // the device records only after waveInStart
  const uint64_t start = driver.now();
  ASSERT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);

  driver.advance(10999);
  EXPECT_EQ(log.count(MM_WIM_DATA), 0u) << "not at 10999 ms";
  EXPECT_TRUE(b.header.dwFlags & WHDR_INQUEUE);
  driver.advance(1);
  ASSERT_EQ(log.count(MM_WIM_DATA), 1u);
  const WimLog::Entry& data = log.entries.back();
  EXPECT_EQ(data.at - start, 11000u);
  EXPECT_EQ(data.wParam, reinterpret_cast<WPARAM>(hwi));
  EXPECT_EQ(data.lParam, reinterpret_cast<LPARAM>(&b.header));
  EXPECT_EQ(b.header.dwBytesRecorded, kSampleBytes);
  EXPECT_EQ(b.header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_DONE));

  ASSERT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
  driver.runPending();
  EXPECT_EQ(log.messages(), (std::vector<UINT>{MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE}));
  EXPECT_EQ(log.entries.front().wParam, reinterpret_cast<WPARAM>(hwi));
}

TEST_F(WaveIn, QueuedBuffersFillOneAfterAnother) {
  Buffer first(16000), second(8000);
  openAndQueue({&first, &second});
  waveInStart(hwi);
  driver.advance(2000);
  ASSERT_EQ(log.count(MM_WIM_DATA), 2u);
  EXPECT_EQ(log.entries[1].at, 1000u);
  EXPECT_EQ(log.entries[1].lParam, reinterpret_cast<LPARAM>(&first.header));
  EXPECT_EQ(log.entries[2].at, 1500u);
  EXPECT_EQ(log.entries[2].lParam, reinterpret_cast<LPARAM>(&second.header));
  waveInClose(hwi);
}

// The recorder's cancel after 3 s: stop, reset, close give exactly one MM_WIM_DATA with
// the bytes recorded so far, and the device writes nothing afterwards.
TEST_F(WaveIn, CancelAfterThreeSecondsHandsTheBufferBackOnce) {
  Buffer b(kSampleBytes);
  openAndQueue({&b});
  ASSERT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);
  driver.advance(3000);
  EXPECT_EQ(waveInStop(hwi), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInReset(hwi), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
  driver.advance(20000);
  EXPECT_EQ(log.messages(), (std::vector<UINT>{MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE}));
  EXPECT_EQ(log.entries[1].at, 3000u);
  EXPECT_EQ(b.header.dwBytesRecorded, 48000u);
  EXPECT_EQ(b.header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_DONE));
  // The silent microphone wrote zeros up to 48000 bytes and not one byte beyond.
  EXPECT_EQ(b.data[47999], 0);
  EXPECT_EQ(std::count(b.data.begin() + 48000, b.data.end(), 0x5A), static_cast<long>(kSampleBytes - 48000));
}

TEST_F(WaveIn, StopHandsBackTheCurrentBufferAndKeepsTheEmptyOnes) {
  Buffer first(32000), second(32000);
  openAndQueue({&first, &second});
  waveInStart(hwi);
  driver.advance(1250);
  ASSERT_EQ(waveInStop(hwi), MMSYSERR_NOERROR);
  driver.advance(5000);
  ASSERT_EQ(log.count(MM_WIM_DATA), 1u);
  EXPECT_EQ(first.header.dwBytesRecorded, 20000u);
  EXPECT_TRUE(second.header.dwFlags & WHDR_INQUEUE);
  EXPECT_EQ(waveInClose(hwi), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  // Starting again records into the buffer that stayed queued.
  waveInStart(hwi);
  driver.advance(2000);
  ASSERT_EQ(log.count(MM_WIM_DATA), 2u);
  EXPECT_EQ(log.entries.back().at, 6250u + 2000u);
  EXPECT_EQ(second.header.dwBytesRecorded, 32000u);
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
}

TEST_F(WaveIn, ResetHandsBackEveryQueuedBufferInOrder) {
  Buffer first(16000), second(16000);
  openAndQueue({&first, &second});
  ASSERT_EQ(waveInReset(hwi), MMSYSERR_NOERROR);  // never started: both come back empty
  driver.runPending();
  ASSERT_EQ(log.count(MM_WIM_DATA), 2u);
  EXPECT_EQ(log.entries[1].lParam, reinterpret_cast<LPARAM>(&first.header));
  EXPECT_EQ(log.entries[2].lParam, reinterpret_cast<LPARAM>(&second.header));
  EXPECT_EQ(first.header.dwBytesRecorded, 0u);
  EXPECT_EQ(second.header.dwFlags, static_cast<DWORD>(WHDR_PREPARED | WHDR_DONE));
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
}

TEST_F(WaveIn, CloseWithAQueuedBufferFails) {
  Buffer b(kSampleBytes);
  openAndQueue({&b});
  waveInStart(hwi);
  driver.advance(1000);
  EXPECT_EQ(waveInClose(hwi), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  EXPECT_EQ(waveInUnprepareHeader(hwi, &b.header, sizeof(WAVEHDR)),
            static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  // The device still runs: the buffer comes back at 11 s.
  driver.advance(10000);
  EXPECT_EQ(log.count(MM_WIM_DATA), 1u);
  EXPECT_EQ(waveInUnprepareHeader(hwi, &b.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(b.header.dwFlags, static_cast<DWORD>(WHDR_DONE));
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(hwi), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
}

TEST_F(WaveIn, HeaderSizeMustBeSizeofWaveHdr) {
  ASSERT_EQ(OpenPhoneDevice(&hwi, nullptr), MMSYSERR_NOERROR);
  Buffer b(1600);
  EXPECT_EQ(waveInPrepareHeader(hwi, &b.header, sizeof(WAVEHDR) - 1), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  EXPECT_EQ(waveInPrepareHeader(hwi, &b.header, sizeof(WAVEHDR) + 8), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  EXPECT_EQ(b.header.dwFlags, 0u);
  EXPECT_EQ(waveInPrepareHeader(hwi, nullptr, sizeof(WAVEHDR)), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  ASSERT_EQ(waveInPrepareHeader(hwi, &b.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(b.header.dwFlags, static_cast<DWORD>(WHDR_PREPARED));
  EXPECT_EQ(waveInAddBuffer(hwi, &b.header, 32 - 1), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  EXPECT_EQ(waveInUnprepareHeader(hwi, &b.header, 0), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  // Preparing twice succeeds (the recorder prepares the same header before every recording).
  EXPECT_EQ(waveInPrepareHeader(hwi, &b.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
}

TEST_F(WaveIn, AddingAnUnpreparedHeaderFails) {
  ASSERT_EQ(OpenPhoneDevice(&hwi, nullptr), MMSYSERR_NOERROR);
  Buffer b(1600);
  EXPECT_EQ(waveInAddBuffer(hwi, &b.header, sizeof(WAVEHDR)), static_cast<MMRESULT>(WAVERR_UNPREPARED));
  EXPECT_EQ(b.header.dwFlags, 0u);
  ASSERT_EQ(Queue(hwi, b), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInAddBuffer(hwi, &b.header, sizeof(WAVEHDR)), static_cast<MMRESULT>(WAVERR_STILLPLAYING));
  waveInReset(hwi);
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
}

TEST_F(WaveIn, UnknownHandlesAreInvalid) {
  auto bogus = reinterpret_cast<HWAVEIN>(uintptr_t{0x1234});
  Buffer b(1600);
  EXPECT_EQ(waveInPrepareHeader(bogus, &b.header, sizeof(WAVEHDR)), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
  EXPECT_EQ(waveInAddBuffer(bogus, &b.header, sizeof(WAVEHDR)), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
  EXPECT_EQ(waveInStart(bogus), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
  EXPECT_EQ(waveInStop(nullptr), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
  EXPECT_EQ(waveInReset(bogus), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
  EXPECT_EQ(waveInClose(bogus), static_cast<MMRESULT>(MMSYSERR_INVALHANDLE));
}

TEST_F(WaveIn, OpenChecksDeviceCallbackAndFormat) {
  WAVEFORMATEX f = PhoneFormat();
  EXPECT_EQ(waveInOpen(&hwi, 1, &f, 0, 0, CALLBACK_NULL), static_cast<MMRESULT>(MMSYSERR_BADDEVICEID));
  EXPECT_EQ(waveInOpen(&hwi, 0, nullptr, 0, 0, CALLBACK_NULL), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  EXPECT_EQ(waveInOpen(&hwi, 0, &f, 0x4444, 0, CALLBACK_WINDOW), static_cast<MMRESULT>(MMSYSERR_INVALPARAM));
  // IEEE float (not PCM), 12-bit samples, and a byte rate inconsistent with 8000 Hz × 2 bytes.
  for (WAVEFORMATEX bad : {WAVEFORMATEX{3, 1, 8000, 16000, 2, 16, 0}, WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 12, 0},
                           WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 8000, 2, 16, 0}})
    EXPECT_EQ(waveInOpen(&hwi, WAVE_MAPPER, &bad, 0, 0, CALLBACK_NULL), static_cast<MMRESULT>(WAVERR_BADFORMAT))
        << bad.wFormatTag << " " << bad.wBitsPerSample << " " << bad.nAvgBytesPerSec;
  EXPECT_EQ(hwi, nullptr);
  // Any PCM the backends deliver by conversion: 44.1 kHz stereo 16-bit, 8-bit mono.
  WAVEFORMATEX cd{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  EXPECT_EQ(waveInOpen(nullptr, WAVE_MAPPER, &cd, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
  WAVEFORMATEX low{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
  ASSERT_EQ(waveInOpen(&hwi, 0, &low, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  Buffer b(11025);
  Queue(hwi, b);
  waveInStart(hwi);
  driver.advance(1000);
  EXPECT_EQ(b.header.dwFlags & WHDR_DONE, static_cast<DWORD>(WHDR_DONE));
  EXPECT_EQ(b.data[0], 128);  // 8-bit PCM silence is 128
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
}

// Under the real clock the buffer's completion runs on the clock's scheduler thread and reaches
// the UI thread through PostMessageW.
// Suite WaveIn, so that it runs under ThreadSanitizer in CI.
TEST_F(WaveIn, RealClockCompletionArrivesFromTheSchedulerThread) {
  device::Clock::useVirtual(false);
  Buffer first(1600), second(176000);  // 100 ms, then 11 s
  openAndQueue({&first, &second});
  const uint64_t start = device::Clock::now();
  ASSERT_EQ(waveInStart(hwi), MMSYSERR_NOERROR);
  for (int i = 0; i < 50 && log.count(MM_WIM_DATA) == 0; ++i) driver.waitForPosted(100);
  ASSERT_EQ(log.count(MM_WIM_DATA), 1u);
  EXPECT_GE(log.entries.back().at - start, 100u);
  EXPECT_EQ(first.header.dwBytesRecorded, 1600u);
  // Cancel the long one from this thread while the scheduler may be running.
  waveInStop(hwi);
  waveInReset(hwi);
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
  driver.runPending();
  EXPECT_EQ(log.count(MM_WIM_DATA), 2u);
  EXPECT_EQ(second.header.dwFlags & WHDR_DONE, static_cast<DWORD>(WHDR_DONE));
}

// The device can be told to fail waveInOpen with a chosen code (the recorder's error table:
// 5, 6, 7, 11, any other); it opens nothing and sends nothing, and opens again once cleared.
using WaveInFault = WaveIn;

TEST_F(WaveInFault, OpenReturnsTheInjectedCodeWithoutOpening) {
  for (MMRESULT code : {MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER, MMSYSERR_NOMEM, MMSYSERR_INVALPARAM,
                        MMSYSERR_ALLOCATED, MMSYSERR_ERROR}) {
    device::options().waveInOpenFault = static_cast<int>(code);
    hwi = reinterpret_cast<HWAVEIN>(uintptr_t{0x99});
    EXPECT_EQ(OpenPhoneDevice(&hwi, hwnd), code);
    EXPECT_EQ(hwi, nullptr);
  }
  driver.runPending();
  EXPECT_TRUE(log.entries.empty());
  device::options().waveInOpenFault = 0;
  EXPECT_EQ(OpenPhoneDevice(&hwi, hwnd), MMSYSERR_NOERROR);
  EXPECT_EQ(waveInClose(hwi), MMSYSERR_NOERROR);
}

TEST(WaveInFaultOption, MicFaultOptionSetsTheCode) {
  char program[] = "melodex";
  char option[] = "--mic-fault";
  char code[] = "6";
  char* argv[] = {program, option, code, nullptr};
  device::ParseOptions(3, argv);
  EXPECT_EQ(device::options().waveInOpenFault, MMSYSERR_NODRIVER);
}

}  // namespace
