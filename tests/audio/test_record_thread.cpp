// RecordThreadProc on a thread of its own, the way the listening screen starts it: the recorder
// made on first use, the device's completion on the user-interface thread 11.0 s later, error
// screen 11 through the main window's queue, and a --mic recording landing in the sample area. Also
// run under ThreadSanitizer.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "app/AppState.h"
#include "app/WorkerRequests.h"
#include "audio/AudioRecorder.h"
#include "audio/RecordingBuffer.h"
#include "device/Device.h"
#include "screens/ErrorScreen.h"
#include "support/ClientHarness.h"

using audio_test::Count;
using audio_test::LinesOf;
using melodex_test::Client;

namespace {

const char kWimData[] = "Melodex: got MM_WIM_DATA message\r\n";

// Starts the recording thread as the listening screen does (CreateThread, no argument) and waits
// for it.
void RunRecordThread() {
  HANDLE thread = CreateThread(NULL, 0, RecordThreadProc, NULL, 0, NULL);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
}

}  // namespace

TEST(RecordThread, NoRecorderExistsBeforeTheFirstRecordingThread) {
  Client client;
  ASSERT_TRUE(client.boot());
  client.driver.advance(3000);  // splash, then main menu: nothing records
  EXPECT_EQ(g_recorder, nullptr);
  EXPECT_EQ(LinesOf(client.log(), "AudioRecorder::").size(), 0u);
}

TEST(RecordThread, CreatesTheRecorderAndStartsARecordingThatEndsElevenSecondsLater) {
  Client client;
  ASSERT_TRUE(client.boot());
  ASSERT_EQ(g_recorder, nullptr);
  RunRecordThread();
  ASSERT_NE(g_recorder, nullptr);
  EXPECT_EQ(g_recorder->hWnd, g_hWnd);
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
  EXPECT_EQ(LinesOf(client.log(), "AudioRecorder::"),
            (std::vector<std::string>{
                "AudioRecorder::recordAudio: opening device\r\n",
                "AudioRecorder::recordAudio: setting up buffer\r\n",
                "AudioRecorder::recordAudio: beginning recording\r\n",
            }));
  client.driver.advance(10999);
  EXPECT_EQ(Count(client.log(), kWimData), 0u);
  client.driver.advance(1);
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  EXPECT_NE(g_nCurrentScreen, SCREEN_RECORD_ERROR);
}

TEST(RecordThread, LaterThreadsReuseTheOneRecorder) {
  Client client;
  ASSERT_TRUE(client.boot());
  RunRecordThread();
  AudioRecorder* const first = g_recorder;
  BYTE* const buffer = first->buffer;
  client.driver.advance(11000);
  RunRecordThread();
  EXPECT_EQ(g_recorder, first);
  EXPECT_EQ(g_recorder->buffer, buffer);
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
  client.driver.advance(11000);
  EXPECT_EQ(Count(client.log(), kWimData), 2u);
}

TEST(RecordThread, ASecondThreadWhileRecordingIsRefusedAndShowsErrorScreen11) {
  Client client;
  ASSERT_TRUE(client.boot());
  client.driver.advance(3000);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  RunRecordThread();
  RunRecordThread();  // result 4: a failed start, so error screen 11 is asked for
  EXPECT_EQ(LinesOf(client.log(), "AudioRecorder::").back(), "AudioRecorder::recordAudio: recorder not idle!\r\n");
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RECORD_ERROR);
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);  // the first recording goes on
}

// A failed start switches to error screen 11; the switch is posted by the worker and carried out by
// the user-interface thread, and no message text is set.
TEST(RecordThread, AFailedStartSwitchesToErrorScreen11ThroughTheQueue) {
  Client client;
  ASSERT_TRUE(client.boot());
  client.driver.advance(3000);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  device::options().waveInOpenFault = MMSYSERR_NODRIVER;
  RunRecordThread();
  device::options().waveInOpenFault = 0;
  EXPECT_EQ(LinesOf(client.log(), "AudioRecorder::"),
            (std::vector<std::string>{
                "AudioRecorder::recordAudio: opening device\r\n",
                "AudioRecorder::recordAudio: error opening audio device!\r\n",
                "AudioRecorder::handleRecordError: no driver!\r\n",
            }));
  // The worker has ended; nothing has switched yet.
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(g_screens[SCREEN_RECORD_ERROR], nullptr);
  EXPECT_EQ(client.countTrace("msg=0x" + [] {
              char hex[8];
              snprintf(hex, sizeof hex, "%04x", WM_MELODEX_SWITCH_SCREEN);
              return std::string(hex);
            }() + " wParam=11"),
            1u);
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RECORD_ERROR);
  ASSERT_NE(g_screens[SCREEN_RECORD_ERROR], nullptr);
  EXPECT_EQ(((ErrorScreen*)g_screens[SCREEN_RECORD_ERROR])->message, nullptr);
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
}

TEST(RecordThread, AWaveInStartFailureAlsoShowsErrorScreen11) {
  Client client;
  ASSERT_TRUE(client.boot());
  device::options().waveInStartFault = MMSYSERR_ERROR;
  RunRecordThread();
  device::options().waveInStartFault = 0;
  EXPECT_EQ(LinesOf(client.log(), "AudioRecorder::").back(), "AudioRecorder::handleRecordError: unknown error!\r\n");
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RECORD_ERROR);
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
}

// The --mic sound is what the sample area holds after 11.0 s, sample for sample, behind the
// unchanged header: exactly what the identification request will send.
TEST(RecordThread, AMicRecordingLandsInTheSampleArea) {
  Client client;
  ASSERT_TRUE(client.boot());
  std::vector<int16_t> sound(8000 * 12);
  uint32_t x = 2024;
  for (int16_t& s : sound) {
    x = x * 1103515245u + 12345u;
    s = static_cast<int16_t>(x >> 16);
  }
  device::options().mic = (std::filesystem::path(client.driver.root()) / "song.wav").string();
  audio_test::WriteWav(device::options().mic, 8000, sound);
  RunRecordThread();
  client.driver.advance(11000);
  ASSERT_EQ(Count(client.log(), kWimData), 1u);
  const BYTE* samples = g_recorder->audioData;
  ASSERT_EQ(samples, g_recorder->buffer + 4096);
  size_t mismatches = 0;
  for (size_t i = 0; i < 88000; ++i) {
    const auto got = static_cast<int16_t>(samples[2 * i] | (samples[2 * i + 1] << 8));
    mismatches += (got != sound[i]);
  }
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(std::memcmp(g_recorder->buffer, WavHeaderTemplate(), WAV_HEADER_SIZE), 0);
  EXPECT_EQ(g_recorder->bufferSize, 180096u);
}
