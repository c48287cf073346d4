// The wave-in device across threads, as the recorder uses it: the recording thread opens and
// starts, the user-interface thread receives MM_WIM_DATA and stops, resets and closes; under the
// real clock the completion comes from the clock's scheduler thread. Suite WaveIn, so that these
// run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include "device/Clock.h"
#include "wavein_support.h"

namespace {

// What RecordThreadProc does through recordAudio: open with the main window as callback, prepare,
// add, start; then the thread ends and the device records by itself.
struct Recording {
  HWND window = nullptr;
  HWAVEIN hwi = nullptr;
  Buffer buffer{176000};
  MMRESULT open = 99, setup = 99, start = 99;
};

DWORD WINAPI RecordThreadProc(LPVOID parameter) {
  auto* r = static_cast<Recording*>(parameter);
  r->open = OpenPhoneDevice(&r->hwi, r->window);
  if (r->open != MMSYSERR_NOERROR) return 1;
  r->setup = Queue(r->hwi, r->buffer);
  r->start = waveInStart(r->hwi);
  return 0;
}

TEST(WaveIn, RecordingThreadStartsAndTheUiThreadGetsMmWimData) {
  device::TestDriver driver;
  WimLog log;
  Recording r;
  r.window = CreateWimWindow(driver, log);
  HANDLE thread = CreateThread(nullptr, 0, RecordThreadProc, &r, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  // The UI thread waits in its message loop; the device's MM_WIM_OPEN arrives from the worker.
  ASSERT_TRUE(driver.waitForPosted(5000));
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  ASSERT_EQ(r.open, MMSYSERR_NOERROR);
  ASSERT_EQ(r.setup, MMSYSERR_NOERROR);
  ASSERT_EQ(r.start, MMSYSERR_NOERROR);
  driver.advance(10999);
  EXPECT_EQ(log.count(MM_WIM_DATA), 0u);
  driver.advance(1);
  ASSERT_EQ(log.count(MM_WIM_DATA), 1u);
  EXPECT_EQ(log.entries.back().at, 11000u);
  EXPECT_EQ(r.buffer.header.dwBytesRecorded, 176000u);
  // finishRecording on the UI thread.
  EXPECT_EQ(waveInClose(r.hwi), MMSYSERR_NOERROR);
}

TEST(WaveIn, CancelOnTheUiThreadWhileTheWorkerStarted) {
  device::TestDriver driver;
  WimLog log;
  Recording r;
  r.window = CreateWimWindow(driver, log);
  HANDLE thread = CreateThread(nullptr, 0, RecordThreadProc, &r, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  driver.advance(3000);
  waveInStop(r.hwi);
  waveInReset(r.hwi);
  EXPECT_EQ(waveInClose(r.hwi), MMSYSERR_NOERROR);
  driver.advance(20000);
  EXPECT_EQ(log.count(MM_WIM_DATA), 1u);
  EXPECT_EQ(r.buffer.header.dwBytesRecorded, 48000u);
}

// Under the real clock the buffer's completion runs on the clock's scheduler thread and reaches
// the UI thread through PostMessageW.
TEST(WaveIn, RealClockCompletionArrivesFromTheSchedulerThread) {
  device::TestDriver driver;
  device::Clock::useVirtual(false);
  WimLog log;
  HWND hwnd = CreateWimWindow(driver, log);
  HWAVEIN hwi = nullptr;
  ASSERT_EQ(OpenPhoneDevice(&hwi, hwnd), MMSYSERR_NOERROR);
  Buffer first(1600), second(176000);  // 100 ms, then 11 s
  Queue(hwi, first);
  Queue(hwi, second);
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

}  // namespace
