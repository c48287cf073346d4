// The recording buffer, a WAV image of 180096 bytes with a fixed 4096-byte header,
// and the wave header over its sample area.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "audio/AudioRecorder.h"
#include "audio/RecordingBuffer.h"
#include "device/Device.h"
#include "support/ClientHarness.h"

using melodex_test::Client;

namespace {

uint32_t U32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t U16(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
std::string Tag(const BYTE* p) { return std::string(reinterpret_cast<const char*>(p), 4); }

// Checks the fixed header field by field.
void ExpectHeader(const BYTE* b) {
  EXPECT_EQ(Tag(b + 0), "RIFF");
  // 180088 written most-significant byte first; read little-endian it is 2025783808.
  EXPECT_EQ(b[4], 0x00);
  EXPECT_EQ(b[5], 0x02);
  EXPECT_EQ(b[6], 0xBF);
  EXPECT_EQ(b[7], 0x78);
  EXPECT_EQ(U32(b + 4), 2025783808u);
  EXPECT_EQ((b[4] << 24 | b[5] << 16 | b[6] << 8 | b[7]), 180088);
  EXPECT_EQ(Tag(b + 8), "WAVE");
  EXPECT_EQ(Tag(b + 12), "fmt ");
  EXPECT_EQ(U32(b + 16), 16u);
  EXPECT_EQ(U16(b + 20), 1);      // PCM
  EXPECT_EQ(U16(b + 22), 1);      // one channel
  EXPECT_EQ(U32(b + 24), 8000u);  // samples per second
  EXPECT_EQ(U32(b + 28), 16000u); // average bytes per second
  EXPECT_EQ(U16(b + 32), 2);      // block alignment
  EXPECT_EQ(U16(b + 34), 1);      // bits field holds 1, not 16
  EXPECT_EQ(Tag(b + 36), "PAD ");
  EXPECT_EQ(U32(b + 40), 4044u);
  EXPECT_EQ(b[40], 0xCC);
  EXPECT_EQ(b[41], 0x0F);
  for (int i = 44; i < 4088; ++i) ASSERT_EQ(b[i], 0) << "filler byte " << i;
  EXPECT_EQ(Tag(b + 4088), "data");
  EXPECT_EQ(U32(b + 4092), 0u);   // data size holds 0, not 176000
}

}  // namespace

TEST(RecordingBuffer, ConstructionCopiesTheTemplateAndPointsIntoTheBuffer) {
  AudioRecorder recorder(nullptr);
  ASSERT_NE(recorder.buffer, nullptr);
  EXPECT_EQ(recorder.bufferSize, 180096u);
  EXPECT_EQ(recorder.audioData, recorder.buffer + 4096);
  EXPECT_EQ(std::memcmp(recorder.buffer, WavHeaderTemplate(), 4096), 0);
  ExpectHeader(recorder.buffer);
  EXPECT_EQ(recorder.state, RECORDING_IDLE);
  EXPECT_EQ(recorder.hWaveIn, nullptr);
  EXPECT_EQ(recorder.hWnd, nullptr);
}

TEST(RecordingBuffer, WaveHeaderCoversTheSampleAreaAndIsOtherwiseZero) {
  AudioRecorder recorder(reinterpret_cast<HWND>(0x1234));
  EXPECT_EQ(recorder.hWnd, reinterpret_cast<HWND>(0x1234));
  ASSERT_NE(recorder.waveHeader, nullptr);
  const WAVEHDR& h = *recorder.waveHeader;
  EXPECT_EQ(reinterpret_cast<BYTE*>(h.lpData), recorder.audioData);
  EXPECT_EQ(h.dwBufferLength, 176000u);
  EXPECT_EQ(h.dwBytesRecorded, 0u);
  EXPECT_EQ(h.dwUser, 0u);
  EXPECT_EQ(h.dwFlags, 0u);
  EXPECT_EQ(h.dwLoops, 0u);
  EXPECT_EQ(h.lpNext, nullptr);
  EXPECT_EQ(h.reserved, 0u);
}

// Without a sample area the next recording fails at buffer set-up with the memory error (simulated
// by taking the sample area away: malloc cannot be made to fail).
TEST(RecordingBuffer, NoSampleAreaFailsAtBufferSetUpWithTheMemoryError) {
  Client client;
  ASSERT_TRUE(client.boot());
  AudioRecorder recorder(g_hWnd);
  recorder.audioData = nullptr;
  EXPECT_EQ(recorder.setupBuffer(), static_cast<MMRESULT>(MMSYSERR_NOMEM));
  EXPECT_EQ(recorder.recordAudio(), 3);
  const std::string log = client.log();
  EXPECT_NE(log.find("AudioRecorder::recordAudio: setting up buffer\r\n"
                     "AudioRecorder::recordAudio: error setting up buffer!\r\n"
                     "AudioRecorder::handleRecordError: unable to allocate or lock memory!\r\n"),
            std::string::npos);
  EXPECT_EQ(recorder.state, RECORDING_IDLE);
  EXPECT_EQ(recorder.hWaveIn, nullptr);  // the device it opened was given back
  EXPECT_EQ(client.countTrace("waveInClose"), 1u);
}

// Every body is 180096 bytes with the same header, also for the second and later recordings,
// whatever the microphone heard; the samples start at offset 4096.
TEST(RecordingBuffer, HeaderAndSizeStayAfterEveryRecording) {
  Client client;
  ASSERT_TRUE(client.boot());
  g_recorder = new AudioRecorder(g_hWnd);  // MM_WIM_DATA finishes g_recorder
  AudioRecorder& recorder = *g_recorder;
  BYTE* const buffer = recorder.buffer;
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(recorder.recordAudio(), 0);
    client.driver.advance(11000);
    EXPECT_EQ(recorder.state, RECORDING_IDLE);
    EXPECT_EQ(recorder.waveHeader->dwBytesRecorded, 176000u);
    EXPECT_EQ(recorder.buffer, buffer);
    EXPECT_EQ(recorder.bufferSize, 180096u);
    EXPECT_EQ(reinterpret_cast<BYTE*>(recorder.waveHeader->lpData), buffer + 4096);
    ExpectHeader(recorder.buffer);
  }
}
