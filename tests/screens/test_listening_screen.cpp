// The listening screen: the get-ready pause, the start sound and the recording, the 11.0 s to
// the analyzing screen, cancels in either phase, and the waveform's steps.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "audio/AudioRecorder.h"
#include "screens/ListeningScreen.h"
#include "support/ScreenRows.h"

using namespace melodex_test;

static ListeningScreen* Listening() { return (ListeningScreen*)g_screens[SCREEN_LISTENING]; }

TEST(Listening, RecordsThreeSecondsAfterItIsShownAndAnalyzesElevenSecondsLater) {
  KeepRequestsWaiting();
  RoadClient client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  client.driver.advance(2999);
  EXPECT_EQ(Listening()->phase, LISTENING_WAITING);
  EXPECT_EQ(client.countTrace("PlaySoundW #159"), 0u);
  client.driver.advance(1);
  ASSERT_TRUE(WaitForTrace(client, "waveInStart hwi="));
  EXPECT_EQ(Listening()->phase, LISTENING_RECORDING);
  EXPECT_EQ(client.countTrace("PlaySoundW #159"), 1u);
  EXPECT_EQ(client.countTrace(" at=3000 -> 0"), 1u);  // waveInStart
  std::string window = "hwnd=" + std::to_string(reinterpret_cast<uintptr_t>(g_hWnd));
  EXPECT_EQ(client.countTrace("KillTimer " + window + " id=100"), 1u);
  EXPECT_EQ(client.countTrace("SetTimer " + window + " id=101 ms=100"), 1u);
  // The device posts MM_WIM_DATA 11000 ms after waveInStart, and not a millisecond earlier.
  client.driver.advance(10999);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_LISTENING);
  client.driver.advance(1);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_ANALYZING);
  EXPECT_EQ(Listening()->phase, LISTENING_FINISHED);
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
}

const Input kRecord = Do("start recording", [](Client& client) { StartRecording(client); });
const char kCancelLine[] = "ListeningScreen::cancelRecording: cancelling recording\r\n";

// After a cancel: its log line, no sound when none was started, the buffer back once when a
// recording ran, and never an analyzing screen.
std::function<void(Client&)> Cancelled(bool recording) {
  return [recording](Client& client) {
    EXPECT_NE(client.log().find(kCancelLine), std::string::npos);
    EXPECT_EQ(client.countTrace("PlaySoundW #159"), recording ? 1u : 0u);
    EXPECT_EQ(client.countTrace("MM_WIM_DATA hwi="), recording ? 1u : 0u);
    EXPECT_EQ(g_screens[SCREEN_ANALYZING], nullptr);
    if (recording) {
      EXPECT_FALSE(Listening()->cancelled) << "the buffer's return consumes the cancel";
    }
  };
}

// Back and the left soft key cancel in either phase and show the main menu at once, which stays,
// also when the recorder hands the buffer back.
const Reach kAtListening = {{VK_RETURN, VK_RETURN}, SCREEN_LISTENING};
const ScreenRow kListeningRows[] = {
    {"Back while waiting returns to the main menu for good", {Wait(1000), VK_ESCAPE, Wait(20000)},
     SCREEN_MAIN_MENU, {}, Cancelled(false)},
    {"Back while recording returns to the main menu for good", {kRecord, Wait(2000), VK_ESCAPE, Wait(20000)},
     SCREEN_MAIN_MENU, Stack{}, Cancelled(true)},
    {"The left soft key while recording returns to the main menu for good",
     {kRecord, Wait(2000), VK_F1, Wait(20000)}, SCREEN_MAIN_MENU, Stack{}, Cancelled(true)},
    {"A recording that would not start leaves the recorder ready for the next",
     {Do("the device will not start", [](Client&) { device::options().waveInStartFault = MMSYSERR_ERROR; }), kRecord,
      Do("error screen 11, and the device starts again",
         [](Client& client) {
           ASSERT_TRUE(RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RECORD_ERROR; }));
           device::options().waveInStartFault = 0;
         }),
      VK_F1, VK_RETURN, kRecord},
     SCREEN_LISTENING, {}, [](Client&) { EXPECT_EQ(g_recorder->state, RECORDING_IN_PROGRESS); }},
    {"Other keys while waiting do nothing", {VK_F2, VK_RETURN, VK_UP, VK_LEFT, 0x35, Wait(2999)}, SCREEN_LISTENING,
     {}, [](Client&) { EXPECT_EQ(Listening()->phase, LISTENING_WAITING); }},
    {"Other keys while recording do nothing", {kRecord, VK_F2, VK_RETURN, VK_DOWN, VK_RIGHT, 0x30, Wait(10999)},
     SCREEN_LISTENING, {}, [](Client&) { EXPECT_EQ(Listening()->phase, LISTENING_RECORDING); }},
};
MELODEX_SCREEN_ROWS(ListeningKeys, kAtListening, kListeningRows);

// 15 pixels every 100 ms; once past the strip's width (320) the offset starts again at 0.
TEST(Listening, TheWaveformMoves15PixelsEvery100MsAndStartsAgainPastItsWidth) {
  RoadClient client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  StartRecording(client);
  struct Step {
    uint64_t ms;
    LONG offset;
  } steps[] = {{100, 15}, {200, 45}, {1800, 315}, {100, 0}, {100, 15}};
  for (const Step& step : steps) {
    client.driver.advance(step.ms);
    EXPECT_EQ(Listening()->scrollOffset, step.offset) << client.driver.now();
  }
}
