// ListeningScreen, screen id 4: a get-ready picture for three seconds, then the start sound,
// the recording thread and an animated listening view for the 11 seconds the recording lasts;
// then on to the analyzing screen, or back when the user cancelled.
#pragma once

#include "app/MelodexScreen.h"
#include "screens/WorkingView.h"

// GIF resources.
#define IDB_LISTENING_TITLE 176      // 172 x 45 the word Listening!
#define IDB_LISTENING_GET_READY 118  // 240 x 150 loudspeaker and "Put Phone near music to ID song!"
#define IDB_LISTENING_WAVEFORM 120   // 320 x 63 the waveform strip
// The start sound, a WAVE resource played when listening starts.
#define LISTENING_START_SOUND TEXT("#159")

// Timers: the get-ready pause (once), then the waveform animation.
#define LISTENING_START_TIMER 100
#define LISTENING_START_MS 3000
#define LISTENING_ANIMATION_TIMER 101
#define LISTENING_ANIMATION_MS 100

enum { LISTENING_WAITING = 0, LISTENING_RECORDING = 1, LISTENING_FINISHED = 2 };

class ListeningScreen : public MelodexScreen {
 public:
  ListeningScreen(HINSTANCE hInst, HWND hWnd);
  ~ListeningScreen();

  void paint(PAINTSTRUCT* ps, RECT* clientRect);
  LRESULT handleKey(WPARAM vk, LPARAM keyData);
  void handleTimer(WPARAM timerId, LPARAM lParam);
  void activate();
  void deactivate();

  // Back and the left soft key: stop the recording and go to the main menu.
  void cancelRecording();
  // The recording came back (MM_WIM_DATA), whether or not this screen is current: on to the
  // analyzing screen, or, after a cancel, to the screen the back stack names.
  void recordingFinished();

  BYTE cancelled;  // set by a cancel; read and cleared when the recording comes back
  WorkingView view;  // banner, title 176, waveform 120, badge and Cancel label
  HBITMAP getReadyImage;
  BITMAP getReadySize;
  LONG phase;          // LISTENING_WAITING, LISTENING_RECORDING or LISTENING_FINISHED
  LONG scrollOffset;   // of the waveform, in pixels
  DWORD recordThreadId;

 private:
  void startListening();
};
