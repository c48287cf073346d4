// The listening screen through the test driver: the get-ready pause, the start sound and the
// recording, the 11.0 s to the analyzing screen, cancels in either phase and where they lead,
// the waveform's steps, and the three phases' pictures.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/AppState.h"
#include "app/Navigation.h"
#include "audio/AudioRecorder.h"
#include "screens/ListeningScreen.h"
#include "support/RoadHarness.h"

using melodex_test::BootToMainMenu;
using melodex_test::ChooseIdSong;
using melodex_test::Client;
using melodex_test::RecordUntilAnalyzing;
using melodex_test::StartRecording;

namespace {

ListeningScreen* Listening() { return (ListeningScreen*)g_screens[SCREEN_LISTENING]; }

}  // namespace

TEST(Listening, RecordsThreeSecondsAfterItIsShownAndAnalyzesElevenSecondsLater) {
  Client client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  client.driver.advance(2999);
  EXPECT_EQ(Listening()->phase, LISTENING_WAITING);
  EXPECT_EQ(client.countTrace("PlaySoundW #159"), 0u);
  client.driver.advance(1);
  ASSERT_TRUE(melodex_test::WaitForTrace(client, "waveInStart hwi="));
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

// Back and the left soft key cancel in either phase and show the main menu at once; the main
// menu stays, also when the recorder hands the buffer back after a cancel while recording.
struct CancelCase {
  UINT key;
  uint64_t at;  // ms after the screen became current: 1000 waiting, 5000 recording
};

class ListeningCancel : public testing::TestWithParam<CancelCase> {};

TEST_P(ListeningCancel, ReturnsToTheMenuForGood) {
  const CancelCase& c = GetParam();
  Client client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  if (c.at > 3000) StartRecording(client);
  client.driver.advance(c.at - client.driver.now());
  client.driver.press(c.key);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_NE(client.log().find("ListeningScreen::cancelRecording: cancelling recording\r\n"), std::string::npos);
  client.driver.advance(20000);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  EXPECT_EQ(g_screens[SCREEN_ANALYZING], nullptr);
  EXPECT_EQ(client.countTrace("PlaySoundW #159"), c.at > 3000 ? 1u : 0u);
  EXPECT_EQ(client.countTrace("MM_WIM_DATA hwi="), c.at > 3000 ? 1u : 0u);
  // The buffer handed back after a cancel while recording consumed the cancel.
  if (c.at > 3000) {
    EXPECT_FALSE(Listening()->cancelled);
  }
}

INSTANTIATE_TEST_SUITE_P(, ListeningCancel,
                         testing::Values(CancelCase{VK_ESCAPE, 1000}, CancelCase{VK_F1, 1000},
                                         CancelCase{VK_ESCAPE, 5000}, CancelCase{VK_F1, 5000}),
                         [](const testing::TestParamInfo<CancelCase>& info) {
                           return std::string(info.param.key == VK_ESCAPE ? "Back" : "LeftSoftKey") +
                                  (info.param.at > 3000 ? "WhileRecording" : "WhileWaiting");
                         });

TEST(Listening, OtherKeysDoNothing) {
  Client client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  for (UINT key : {VK_F2, VK_RETURN, VK_UP, VK_LEFT, 0x35}) client.driver.press(key);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_LISTENING);
  StartRecording(client);
  for (UINT key : {VK_F2, VK_RETURN, VK_DOWN, VK_RIGHT, 0x30}) client.driver.press(key);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_LISTENING);
  client.driver.advance(11000);
  EXPECT_EQ(g_nCurrentScreen, SCREEN_ANALYZING);
}

// Started from the results screen's new ID!, a cancel while recording shows the main menu,
// and when the recorder hands the buffer back the results screen comes back (popped).
TEST(Listening, ACancelWhileRecordingFromTheResultsScreenReturnsThereWhenTheBufferIsBack) {
  Client client;
  BootToMainMenu(client);
  SwitchScreen(SCREEN_RESULTS);
  SwitchScreen(SCREEN_LISTENING);  // what new ID! does
  PushScreen(SCREEN_RESULTS);
  StartRecording(client);
  client.driver.advance(2000);
  SendMessageW(g_hWnd, WM_KEYUP, VK_ESCAPE, 0);  // the buffer's MM_WIM_DATA is still queued
  EXPECT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  client.driver.runPending();
  EXPECT_EQ(g_nCurrentScreen, SCREEN_RESULTS);
  EXPECT_EQ(g_backStackTop, -1);
}

// After a cancel in the get-ready pause, the next visit records and goes on normally.
TEST(Listening, AfterACancelWhileWaitingTheNextVisitRecordsNormally) {
  Client client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  client.driver.advance(1500);
  client.driver.press(VK_ESCAPE);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
}

// A device that would not start shows error screen 11; the recorder gives the device back,
// so the next identification records.
TEST(Listening, AfterAFailedStartTheNextRecordingWorks) {
  Client client;
  BootToMainMenu(client);
  ChooseIdSong(client);
  device::options().waveInStartFault = MMSYSERR_ERROR;
  StartRecording(client);
  device::options().waveInStartFault = 0;
  ASSERT_TRUE(melodex_test::RunUntil(client, [] { return g_nCurrentScreen == SCREEN_RECORD_ERROR; }));
  EXPECT_EQ(g_recorder->state, RECORDING_IDLE);
  client.driver.press(VK_F1);
  ASSERT_EQ(g_nCurrentScreen, SCREEN_MAIN_MENU);
  ChooseIdSong(client);
  RecordUntilAnalyzing(client);
}

// 15 pixels every 100 ms; once past the strip's width (320) the offset starts again at 0.
TEST(Listening, TheWaveformMoves15PixelsEvery100MsAndStartsAgainPastItsWidth) {
  Client client;
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
