// AudioRecorder under the virtual clock: the recording buffer's fixed WAV image, the order of the
// log lines, the device's 11.0 s, cancel, reset and every result code of handleRecordError; then
// RecordThreadProc on a thread of its own, as the listening screen starts it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "audio/AudioRecorder.h"
#include "audio/RecordingBuffer.h"
#include "device/Device.h"
#include "screens/ErrorScreen.h"
#include "support/ClientHarness.h"
#include "support/WavFile.h"

using melodex_test::Client;
using Lines = std::vector<std::string>;

namespace {

// The log lines (each with its "\r\n") that begin with prefix, in order.
std::vector<std::string> LinesOf(const std::string& log, const std::string& prefix) {
  std::vector<std::string> out;
  for (size_t start = 0, end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2)
    if (log.compare(start, prefix.size(), prefix) == 0) out.push_back(log.substr(start, end + 2 - start));
  return out;
}

size_t CountWimData(const std::string& log) { return LinesOf(log, "Melodex: got MM_WIM_DATA message\r\n").size(); }

const Lines kStartLines = {"AudioRecorder::recordAudio: opening device\r\n",
                           "AudioRecorder::recordAudio: setting up buffer\r\n",
                           "AudioRecorder::recordAudio: beginning recording\r\n"};

// The first 4096 bytes of every request body: the RIFF size written most-significant byte first
// (180088), 16000 bytes a second, the bits field 1, a PAD chunk of zeros, a data size of 0.
std::vector<BYTE> ExpectedHeader() {
  std::vector<BYTE> h(4096, 0);
  const struct {
    size_t at;
    std::string bytes;
  } fields[] = {{0, "RIFF"},
                {4, std::string("\x00\x02\xBF\x78", 4)},
                {8, "WAVEfmt "},
                {16, std::string("\x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x80\x3E\0\0\x02\0\x01\0", 20)},
                {36, "PAD "},
                {40, std::string("\xCC\x0F\0\0", 4)},
                {4088, "data"}};
  for (const auto& f : fields) memcpy(h.data() + f.at, f.bytes.data(), f.bytes.size());
  return h;
}

class AudioRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(client.boot());
    g_recorder = new AudioRecorder(g_hWnd);
  }
  Lines recorderLines() { return LinesOf(client.log(), "AudioRecorder::"); }
  Client client;
};

}  // namespace

// Every recording opens the device anew (8000 Hz mono 16-bit, window callback), queues the
// 176000-byte sample area behind the unchanged header and is handed back 11000 ms after the
// start, not a millisecond earlier.
TEST_F(AudioRecorderTest, EachRecordingLastsElevenSecondsInTheSameBuffer) {
  BYTE* const buffer = g_recorder->buffer;
  for (unsigned round = 1; round <= 2; ++round) {
    ASSERT_EQ(g_recorder->recordAudio(), 0);
    EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
    client.driver.advance(10999);
    EXPECT_EQ(CountWimData(client.log()), round - 1);
    client.driver.advance(1);
    EXPECT_EQ(CountWimData(client.log()), round);
    EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
    EXPECT_EQ(g_recorder->hWaveIn, nullptr);
    EXPECT_EQ(g_recorder->waveHeader->dwBytesRecorded, 176000u);
  }
  EXPECT_EQ(recorderLines(), (Lines{kStartLines[0], kStartLines[1], kStartLines[2], kStartLines[0], kStartLines[1],
                                    kStartLines[2]}));
  EXPECT_EQ(client.countTrace("waveInOpen device=-1 rate=8000 ch=1 bits=16 flags=0x10000 -> 0"), 2u);
  EXPECT_EQ(client.countTrace("bytes=176000 -> 0"), 2u);
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 2u);
  EXPECT_EQ(g_recorder->buffer, buffer);
  EXPECT_EQ(g_recorder->bufferSize, 180096u);
  EXPECT_EQ(reinterpret_cast<BYTE*>(g_recorder->waveHeader->lpData), buffer + 4096);
  EXPECT_EQ(std::vector<BYTE>(buffer, buffer + 4096), ExpectedHeader());
  client.driver.advance(30000);
  EXPECT_EQ(CountWimData(client.log()), 2u);
}

TEST_F(AudioRecorderTest, ASecondStartWhileRecordingIsRefusedAndChangesNothing) {
  ASSERT_EQ(g_recorder->recordAudio(), 0);
  HWAVEIN device = g_recorder->hWaveIn;
  EXPECT_EQ(g_recorder->recordAudio(), 4);
  EXPECT_EQ(recorderLines().back(), "AudioRecorder::recordAudio: recorder not idle!\r\n");
  EXPECT_EQ(g_recorder->hWaveIn, device);
  EXPECT_EQ(client.countTrace("waveInOpen hwi="), 1u);
  client.driver.advance(11000);
  EXPECT_EQ(CountWimData(client.log()), 1u);
}

// Idle, a cancel only logs. Recording, it stops, resets and closes the device; the buffer comes
// back once with what was recorded, and its completion finds no device to close again.
TEST_F(AudioRecorderTest, CancelHandsTheBufferBackOnce) {
  g_recorder->cancelRecording();
  EXPECT_EQ(recorderLines(), (Lines{"AudioRecorder::cancelRecording: cancelling recording\r\n",
                                    "AudioRecorder::cancelRecording: no recording in progress!\r\n"}));
  ASSERT_EQ(g_recorder->recordAudio(), 0);
  client.driver.advance(4000);
  g_recorder->cancelRecording();
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  Lines lines = recorderLines();
  EXPECT_EQ(Lines(lines.end() - 5, lines.end()), (Lines{"AudioRecorder::cancelRecording: cancelling recording\r\n",
                                                         "AudioRecorder::cancelRecording: stopping recording\r\n",
                                                         "AudioRecorder::cancelRecording: resetting\r\n",
                                                         "AudioRecorder::cancelRecording: closing\r\n",
                                                         "AudioRecorder::cancelRecording: resetting state\r\n"}));
  client.driver.advance(20000);
  EXPECT_EQ(CountWimData(client.log()), 1u);
  EXPECT_EQ(g_recorder->waveHeader->dwBytesRecorded, 64000u);
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 1u);
}

// A device that would not start is given back at once: its buffer comes back (one MM_WIM_DATA,
// which is no finished recording), the header is unprepared, the device closed. The recording
// stays in progress until reset, and after the reset the next one works.
TEST_F(AudioRecorderTest, AFailedStartGivesTheDeviceBackAndALaterRecordingWorks) {
  device::options().waveInStartFault = MMSYSERR_INVALHANDLE;
  EXPECT_EQ(g_recorder->recordAudio(), 1);
  device::options().waveInStartFault = 0;
  EXPECT_EQ(recorderLines(), (Lines{kStartLines[0], kStartLines[1], kStartLines[2],
                                    "AudioRecorder::recordAudio: error starting recording!\r\n",
                                    "AudioRecorder::handleRecordError: no device!\r\n"}));
  EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  EXPECT_EQ(client.countTrace("waveInClose hwi="), 1u);
  EXPECT_EQ(g_recorder->waveHeader->dwFlags & (WHDR_PREPARED | WHDR_INQUEUE), 0u);
  client.driver.runPending();
  EXPECT_EQ(CountWimData(client.log()), 1u);
  EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS);
  EXPECT_EQ(g_recorder->recordAudio(), 4);
  g_recorder->reset();
  EXPECT_EQ(g_recorder->recordAudio(), 0);
  client.driver.advance(11000);
  EXPECT_EQ(CountWimData(client.log()), 2u);
  EXPECT_EQ(g_recorder->waveHeader->dwBytesRecorded, 176000u);
}

// handleRecordError's table, each code reached through a failing waveInOpen: the stage's line,
// the code's line, its result; nothing retried, and the next start is tried in full.
TEST_F(AudioRecorderTest, EachOpenFailureMapsToItsLineAndResult) {
  const struct {
    MMRESULT code;
    int result;
    const char* line;
  } cases[] = {
      {MMSYSERR_INVALHANDLE, 1, "AudioRecorder::handleRecordError: no device!\r\n"},
      {MMSYSERR_NODRIVER, 1, "AudioRecorder::handleRecordError: no driver!\r\n"},
      {MMSYSERR_NOMEM, 3, "AudioRecorder::handleRecordError: unable to allocate or lock memory!\r\n"},
      {MMSYSERR_INVALPARAM, 2, "AudioRecorder::handleRecordError: audio record alignment error!\r\n"},
      {MMSYSERR_ERROR, 5, "AudioRecorder::handleRecordError: unknown error!\r\n"},
      {MMSYSERR_ALLOCATED, 5, "AudioRecorder::handleRecordError: unknown error!\r\n"},
      {WAVERR_BADFORMAT, 5, "AudioRecorder::handleRecordError: unknown error!\r\n"},
  };
  EXPECT_EQ(g_recorder->handleRecordError(MMSYSERR_NOERROR), 0);
  for (const auto& c : cases) {
    size_t before = recorderLines().size();
    device::options().waveInOpenFault = static_cast<int>(c.code);
    EXPECT_EQ(g_recorder->recordAudio(), c.result) << c.code;
    Lines lines = recorderLines();
    EXPECT_EQ(Lines(lines.begin() + before, lines.end()),
              (Lines{kStartLines[0], "AudioRecorder::recordAudio: error opening audio device!\r\n", c.line}));
    EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
    EXPECT_EQ(g_recorder->hWaveIn, nullptr);
  }
  device::options().waveInOpenFault = 0;
  EXPECT_EQ(client.countTrace("waveInOpen device="), 7u);
  EXPECT_EQ(g_recorder->recordAudio(), 0);
}

// A failure at buffer set-up after the device opened gives the device back, so the microphone is
// not held: a header without its samples (alignment) or no sample area at all (memory).
TEST_F(AudioRecorderTest, ASetUpFailureClosesTheDeviceItOpened) {
  const struct {
    bool noSampleArea;
    int result;
    const char* line;
  } cases[] = {{false, 2, "AudioRecorder::handleRecordError: audio record alignment error!\r\n"},
               {true, 3, "AudioRecorder::handleRecordError: unable to allocate or lock memory!\r\n"}};
  for (const auto& c : cases) {
    AudioRecorder recorder(g_hWnd);
    if (c.noSampleArea) recorder.audioData = nullptr;
    else recorder.waveHeader->lpData = nullptr;  // waveInAddBuffer: MMSYSERR_INVALPARAM
    size_t closes = client.countTrace("waveInClose hwi=");
    EXPECT_EQ(recorder.recordAudio(), c.result);
    Lines lines = recorderLines();
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{"AudioRecorder::recordAudio: error setting up buffer!\r\n", c.line}));
    EXPECT_EQ(recorder.state, RECORDING_IDLE);
    EXPECT_EQ(recorder.hWaveIn, nullptr);
    EXPECT_EQ(client.countTrace("waveInClose hwi="), closes + 1);
  }
}

// Starts the recording thread as the listening screen does (CreateThread, no argument) and waits
// for it.
void RunRecordThread() {
  HANDLE thread = CreateThread(NULL, 0, RecordThreadProc, NULL, 0, NULL);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
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
  melodex_test::WriteWav(device::options().mic, 8000, 1, sound);
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
