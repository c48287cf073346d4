// RecordThreadProc on a thread of its own, the way the listening screen starts it: the recorder
// made on first use, error screen 11 through the main window's queue, and a --mic recording
// landing in the sample area. Also run under ThreadSanitizer.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "app/AppState.h"
#include "app/Navigation.h"
#include "audio/AudioRecorder.h"
#include "audio/RecordingBuffer.h"
#include "device/Device.h"
#include "screens/ErrorScreen.h"
#include "support/ClientHarness.h"

using audio_test::CountWimData;
using melodex_test::Client;

namespace {

// Starts the recording thread as the listening screen does (CreateThread, no argument) and waits
// for it.
void RunRecordThread() {
  HANDLE thread = CreateThread(NULL, 0, RecordThreadProc, NULL, 0, NULL);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
}

}  // namespace

// No recorder exists before the first recording thread; later threads reuse the one it made.
TEST(RecordThread, TheFirstThreadMakesTheOneRecorder) {
  Client client;
  ASSERT_TRUE(client.boot());
  client.driver.advance(3000);
  EXPECT_EQ(g_recorder, nullptr);
  RunRecordThread();
  ASSERT_NE(g_recorder, nullptr);
  AudioRecorder* const first = g_recorder;
  EXPECT_EQ(first->hWnd, g_hWnd);
  EXPECT_EQ(first->state, RECORDING_IN_PROGRESS);
  client.driver.advance(11000);
  RunRecordThread();
  EXPECT_EQ(g_recorder, first);
  client.driver.advance(11000);
  EXPECT_EQ(CountWimData(client.log()), 2u);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
}

// A start that fails (the device will not open, will not start, or a recording is still
// running) asks for error screen 11 without a message; the worker only posts the switch, the
// user-interface thread carries it out.
TEST(RecordThread, AFailedStartShowsErrorScreen11ThroughTheQueue) {
  const struct {
    const char* what;
    int openFault, startFault;
    bool alreadyRecording;
  } cases[] = {{"no driver", MMSYSERR_NODRIVER, 0, false},
               {"the start fails", 0, MMSYSERR_ERROR, false},
               {"a recording still running", 0, 0, true}};
  Client client;
  ASSERT_TRUE(client.boot());
  client.driver.advance(3000);
  for (const auto& c : cases) {
    SwitchScreen(SCREEN_MAIN_MENU);
    if (g_recorder != nullptr) g_recorder->reset();  // a failed start stays in progress until reset
    if (c.alreadyRecording) RunRecordThread();
    device::options().waveInOpenFault = c.openFault;
    device::options().waveInStartFault = c.startFault;
    RunRecordThread();
    device::options().waveInOpenFault = device::options().waveInStartFault = 0;
    EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU) << c.what;
    client.driver.runPending();
    EXPECT_EQ(g_nCurrentScreen, SCREEN_RECORD_ERROR) << c.what;
    ASSERT_NE(g_screens[SCREEN_RECORD_ERROR], nullptr);
    EXPECT_EQ(((ErrorScreen*)g_screens[SCREEN_RECORD_ERROR])->message, nullptr);
    if (c.alreadyRecording) {
      EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS) << "the first recording goes on";
    }
  }
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
  ASSERT_EQ(CountWimData(client.log()), 1u);
  const BYTE* samples = g_recorder->buffer + 4096;
  size_t mismatches = 0;
  for (size_t i = 0; i < 88000; ++i)
    mismatches += static_cast<int16_t>(samples[2 * i] | (samples[2 * i + 1] << 8)) != sound[i];
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(std::memcmp(g_recorder->buffer, WavHeaderTemplate(), WAV_HEADER_SIZE), 0);
}
