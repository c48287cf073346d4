// AudioRecorder on the user-interface thread under the virtual clock — the order of
// its log lines, the device's 11.0 s, cancel, reset, and every result code of handleRecordError.
// The recorder is g_recorder, so MM_WIM_DATA reaches its finishRecording.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "AudioTestSupport.h"
#include "app/AppState.h"
#include "app/WorkerRequests.h"
#include "audio/AudioRecorder.h"
#include "device/Device.h"
#include "support/ClientHarness.h"

using audio_test::Count;
using audio_test::LinesOf;
using melodex_test::Client;

namespace {

const char kWimData[] = "Melodex: got MM_WIM_DATA message\r\n";

// A booted client with its one recorder.
class AudioRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client.boot());
    g_recorder = new AudioRecorder(g_hWnd);
  }
  std::vector<std::string> recorderLines() { return LinesOf(client.log(), "AudioRecorder::"); }
  Client client;
};

}  // namespace

TEST_F(AudioRecorderTest, SuccessfulStartLogsThreeLinesInOrder) {
  EXPECT_EQ(g_recorder->recordAudio(), 0);
  EXPECT_EQ(recorderLines(), (std::vector<std::string>{
                                 "AudioRecorder::recordAudio: opening device\r\n",
                                 "AudioRecorder::recordAudio: setting up buffer\r\n",
                                 "AudioRecorder::recordAudio: beginning recording\r\n",
                             }));
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
  EXPECT_NE(g_recorder->hWaveIn, nullptr);
  // The device format and the callback: wave mapper, 8000 Hz mono 16-bit, window.
  EXPECT_EQ(client.countTrace("waveInOpen device=-1 rate=8000 ch=1 bits=16 flags=0x10000 -> 0"), 1u);
  EXPECT_EQ(client.countTrace("waveInAddBuffer hwi="), 1u);
  EXPECT_EQ(client.countTrace("bytes=176000 -> 0"), 1u);
  EXPECT_EQ(client.countTrace("waveInStart hwi="), 1u);
  // The main window is invalidated with flags 3 when the recording begins.
  EXPECT_GE(client.countTrace("RedrawWindow hwnd=" + std::to_string(reinterpret_cast<uintptr_t>(g_hWnd)) + " flags=3"), 1u);
}

TEST_F(AudioRecorderTest, CompletionArrivesElevenSecondsAfterTheStartAndNotEarlier) {
  ASSERT_EQ(g_recorder->recordAudio(), 0);
  client.driver.advance(10999);
  EXPECT_EQ(Count(client.log(), kWimData), 0u);
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
  client.driver.advance(1);
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);  // finishRecording closed the device
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 1u);
  EXPECT_EQ(g_recorder->waveHeader->dwBytesRecorded, 176000u);
  client.driver.advance(30000);
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
}

TEST_F(AudioRecorderTest, ASecondRecordingOpensTheDeviceAnewWithTheSameHeader) {
  WAVEHDR* const header = g_recorder->waveHeader;
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(g_recorder->recordAudio(), 0);
    client.driver.advance(11000);
    EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  }
  EXPECT_EQ(g_recorder->waveHeader, header);
  EXPECT_EQ(Count(client.log(), kWimData), 2u);
  EXPECT_EQ(client.countTrace("waveInOpen hwi="), 2u);
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 2u);
}

TEST_F(AudioRecorderTest, ASecondStartWhileRecordingIsRefusedAndChangesNothing) {
  ASSERT_EQ(g_recorder->recordAudio(), 0);
  HWAVEIN device = g_recorder->hWaveIn;
  EXPECT_EQ(g_recorder->recordAudio(), 4);
  EXPECT_EQ(recorderLines().back(), "AudioRecorder::recordAudio: recorder not idle!\r\n");
  EXPECT_EQ(g_recorder->hWaveIn, device);
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
  EXPECT_EQ(client.countTrace("waveInOpen hwi="), 1u);
  client.driver.advance(11000);
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
}

TEST_F(AudioRecorderTest, CancelHandsTheBufferBackOnceAndFinishFindsNoDevice) {
  ASSERT_EQ(g_recorder->recordAudio(), 0);
  client.driver.advance(4000);
  g_recorder->cancelRecording();
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  std::vector<std::string> lines = recorderLines();
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 5, lines.end()),
            (std::vector<std::string>{
                "AudioRecorder::cancelRecording: cancelling recording\r\n",
                "AudioRecorder::cancelRecording: stopping recording\r\n",
                "AudioRecorder::cancelRecording: resetting\r\n",
                "AudioRecorder::cancelRecording: closing\r\n",
                "AudioRecorder::cancelRecording: resetting state\r\n",
            }));
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 1u);
  // The handed-back buffer still produces exactly one MM_WIM_DATA, with the 4 s recorded.
  client.driver.runPending();
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
  EXPECT_EQ(g_recorder->waveHeader->dwBytesRecorded, 64000u);
  // finishRecording found no device handle: no second close, state idle.
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 1u);
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  client.driver.advance(20000);
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
}

TEST_F(AudioRecorderTest, CancelWhileIdleOnlyLogs) {
  g_recorder->cancelRecording();
  EXPECT_EQ(recorderLines(), (std::vector<std::string>{
                                 "AudioRecorder::cancelRecording: cancelling recording\r\n",
                                 "AudioRecorder::cancelRecording: no recording in progress!\r\n",
                             }));
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(client.countTrace("waveInStop"), 0u);
}

TEST_F(AudioRecorderTest, ResetOnAnIdleRecorderStillLogs) {
  g_recorder->reset();
  EXPECT_EQ(recorderLines(), (std::vector<std::string>{
                                 "AudioRecorder::reset: reseting state to RECORDING_IDLE\r\n"}));
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
}

TEST_F(AudioRecorderTest, ResetWhileRecordingTouchesNoDevice) {
  ASSERT_EQ(g_recorder->recordAudio(), 0);
  HWAVEIN device = g_recorder->hWaveIn;
  g_recorder->reset();
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->hWaveIn, device);
  EXPECT_EQ(client.countTrace("waveInStop"), 0u);
  EXPECT_EQ(client.countTrace("waveInReset"), 0u);
  EXPECT_EQ(client.countTrace("waveInClose"), 0u);
  // The device goes on and completes; finishRecording then closes it.
  client.driver.advance(11000);
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
}

// A device that would not start is given back at once: its buffer comes back (one
// MM_WIM_DATA, which is no finished recording), the header is unprepared, the device closed.
// The recording stays in progress until reset, and after the reset the next one works.
TEST_F(AudioRecorderTest, WaveInStartFailureGivesTheDeviceBackAndALaterRecordingWorks) {
  device::options().waveInStartFault = MMSYSERR_INVALHANDLE;
  EXPECT_EQ(g_recorder->recordAudio(), 1);
  device::options().waveInStartFault = 0;
  EXPECT_EQ(recorderLines(), (std::vector<std::string>{
                                 "AudioRecorder::recordAudio: opening device\r\n",
                                 "AudioRecorder::recordAudio: setting up buffer\r\n",
                                 "AudioRecorder::recordAudio: beginning recording\r\n",
                                 "AudioRecorder::recordAudio: error starting recording!\r\n",
                                 "AudioRecorder::handleRecordError: no device!\r\n",
                             }));
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 1u);
  EXPECT_EQ(g_recorder->waveHeader->dwFlags & (WHDR_PREPARED | WHDR_INQUEUE), 0u);
  client.driver.runPending();
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
  // Before a reset the next start is refused.
  EXPECT_EQ(g_recorder->recordAudio(), 4);
  g_recorder->reset();
  EXPECT_EQ(g_recorder->recordAudio(), 0);
  client.driver.advance(11000);
  EXPECT_EQ(Count(client.log(), kWimData), 2u);
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->waveHeader->dwBytesRecorded, 176000u);
}

TEST_F(AudioRecorderTest, HandleRecordErrorOfZeroReturnsZeroSilently) {
  EXPECT_EQ(g_recorder->handleRecordError(MMSYSERR_NOERROR), 0);
  EXPECT_TRUE(recorderLines().empty());
}

// handleRecordError's table, each code reached through a failing waveInOpen.
struct ErrorCase {
  MMRESULT code;
  int result;
  const char* line;
};

class AudioRecorderOpenFault : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(AudioRecorderOpenFault, MapsTheCodeToItsLineAndResult) {
  Client client;
  ASSERT_TRUE(client.boot());
  g_recorder = new AudioRecorder(g_hWnd);
  device::options().waveInOpenFault = static_cast<int>(GetParam().code);
  EXPECT_EQ(g_recorder->recordAudio(), GetParam().result);
  device::options().waveInOpenFault = 0;
  EXPECT_EQ(LinesOf(client.log(), "AudioRecorder::"),
            (std::vector<std::string>{
                "AudioRecorder::recordAudio: opening device\r\n",
                "AudioRecorder::recordAudio: error opening audio device!\r\n",
                GetParam().line,
            }));
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  // Nothing was retried; and the recorder is idle, so the next start is tried in full.
  EXPECT_EQ(client.countTrace("waveInOpen device="), 1u);
  EXPECT_EQ(g_recorder->recordAudio(), 0);
}

// No prefix, so that the test names begin with the suite (AudioRecorder*, run under TSan).
INSTANTIATE_TEST_SUITE_P(
    , AudioRecorderOpenFault,
    ::testing::Values(
        ErrorCase{MMSYSERR_INVALHANDLE, 1, "AudioRecorder::handleRecordError: no device!\r\n"},
        ErrorCase{MMSYSERR_NODRIVER, 1, "AudioRecorder::handleRecordError: no driver!\r\n"},
        ErrorCase{MMSYSERR_NOMEM, 3, "AudioRecorder::handleRecordError: unable to allocate or lock memory!\r\n"},
        ErrorCase{MMSYSERR_INVALPARAM, 2, "AudioRecorder::handleRecordError: audio record alignment error!\r\n"},
        ErrorCase{MMSYSERR_ERROR, 5, "AudioRecorder::handleRecordError: unknown error!\r\n"},
        ErrorCase{MMSYSERR_ALLOCATED, 5, "AudioRecorder::handleRecordError: unknown error!\r\n"},
        ErrorCase{WAVERR_BADFORMAT, 5, "AudioRecorder::handleRecordError: unknown error!\r\n"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return "Code" + std::to_string(info.param.code); });

// A failure at buffer set-up after the device opened: recordAudio's two lines, and the device is
// given back so the microphone is not held.
TEST_F(AudioRecorderTest, SetUpFailureClosesTheDeviceItOpened) {
  g_recorder->waveHeader->dwBufferLength = 176000;
  g_recorder->waveHeader->lpData = nullptr;  // waveInAddBuffer: MMSYSERR_INVALPARAM
  EXPECT_EQ(g_recorder->recordAudio(), 2);
  std::vector<std::string> lines = recorderLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[2], "AudioRecorder::recordAudio: error setting up buffer!\r\n");
  EXPECT_EQ(lines[3], "AudioRecorder::handleRecordError: audio record alignment error!\r\n");
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 1u);
}

TEST_F(AudioRecorderTest, StrayCompletionWithoutARecordingOnlyLogs) {
  PostMessageW(g_hWnd, MM_WIM_DATA, 0, 0);
  client.driver.runPending();
  EXPECT_EQ(Count(client.log(), kWimData), 1u);
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(client.countTrace("waveInClose"), 0u);
}
