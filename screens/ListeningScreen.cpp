#include "screens/ListeningScreen.h"

#include <mmsystem.h>

#include "app/AppState.h"
#include "app/Drawing.h"
#include "app/Log.h"
#include "app/Navigation.h"
#include "audio/AudioRecorder.h"

ListeningScreen::ListeningScreen(HINSTANCE hInst, HWND hWnd)
    : MelodexScreen(hInst, hWnd), cancelled(FALSE), phase(LISTENING_WAITING), scrollOffset(0), recordThreadId(0) {
  view.load(hInst, IDB_LISTENING_TITLE, IDB_LISTENING_WAVEFORM);
  getReadyImage = LoadImageResource(hInst, IDB_LISTENING_GET_READY, &getReadySize);
}

ListeningScreen::~ListeningScreen() {
  view.release();
  if (getReadyImage != NULL) DeleteObject(getReadyImage);
}

void ListeningScreen::activate() {
  cancelled = FALSE;
  phase = LISTENING_WAITING;
  SetTimer(hWnd, LISTENING_START_TIMER, LISTENING_START_MS, NULL);
}

// Whatever way the screen is left, the recorder is made idle again (it exists once a
// recording thread has run).
void ListeningScreen::deactivate() {
  KillTimer(hWnd, LISTENING_START_TIMER);
  KillTimer(hWnd, LISTENING_ANIMATION_TIMER);
  if (g_recorder != NULL) g_recorder->reset();
}

// The start sound plays while the recording begins. The recording thread only starts the
// device and ends; its handle is not needed.
void ListeningScreen::startListening() {
  phase = LISTENING_RECORDING;
  KillTimer(hWnd, LISTENING_START_TIMER);
  SetTimer(hWnd, LISTENING_ANIMATION_TIMER, LISTENING_ANIMATION_MS, NULL);
  PlaySoundW(LISTENING_START_SOUND, hInst, SND_RESOURCE | SND_ASYNC);
  HANDLE thread = CreateThread(NULL, 0, RecordThreadProc, NULL, 0, &recordThreadId);
  if (thread != NULL) CloseHandle(thread);
}

void ListeningScreen::handleTimer(WPARAM timerId, LPARAM lParam) {
  if (timerId == LISTENING_START_TIMER) startListening();
  if (timerId == LISTENING_ANIMATION_TIMER) scrollOffset = view.scrolled(scrollOffset);
  RequestRepaint(hWnd);
}

LRESULT ListeningScreen::handleKey(WPARAM vk, LPARAM keyData) {
  if (vk == VK_ESCAPE || vk == VK_F1) cancelRecording();
  return 0;
}

// A recording in progress is handed back by the recorder, so recordingFinished still follows;
// before the recording started (the get-ready pause) nothing follows.
void ListeningScreen::cancelRecording() {
  WriteLog("ListeningScreen::cancelRecording: cancelling recording\r\n");
  cancelled = TRUE;
  if (g_recorder != NULL) g_recorder->cancelRecording();
  SwitchScreen(SCREEN_MAIN_MENU);
}

// After a cancel the popped id is normally the main menu, already current and so not switched
// to twice; after a cancel of a recording started from the results screen it is the results
// screen, which then comes back.
void ListeningScreen::recordingFinished() {
  phase = LISTENING_FINISHED;
  if (cancelled) {
    SwitchScreen(PopScreen());
  } else {
    SwitchScreen(SCREEN_ANALYZING);
  }
  cancelled = FALSE;
}

// The get-ready picture is centred in the area below the banner; the listening view fills
// that area in three bands; once the recording is back only the banner stays.
void ListeningScreen::paint(PAINTSTRUCT* ps, RECT* clientRect) {
  eraseBackground(g_hdcBack, clientRect);
  if (phase == LISTENING_WAITING) {
    view.drawBanner(g_hdcBack, clientRect);
    LONG below = view.bannerSize.bmHeight;
    DrawImage(g_hdcBack, getReadyImage, &getReadySize, clientRect->right / 2 - getReadySize.bmWidth / 2,
              below + ((clientRect->bottom - below) / 2 - getReadySize.bmHeight / 2));
  } else if (phase == LISTENING_RECORDING) {
    view.draw(g_hdcBack, clientRect, scrollOffset);
  } else {
    view.drawBanner(g_hdcBack, clientRect);
  }
  PresentBackBuffer(ps, clientRect);
}
