// MM_WIM_DATA: the wave-in device hands the recording buffer back, full after 11.0 s or early
// after a cancel.
#include "app/RecordingRoute.h"

#include "app/AppState.h"
#include "app/Log.h"
#include "audio/AudioRecorder.h"
#include "screens/ListeningScreen.h"

void RouteRecordingFinished() {
  WriteLog("Melodex: got MM_WIM_DATA message\r\n");
  // Only a recording can post MM_WIM_DATA, so the recorder exists; the test guards against a
  // stray message all the same.
  if (g_recorder != NULL) {
    // The buffer of a recording that failed to start, given back by the recorder itself: the
    // recording thread has already asked for error screen 11, so nothing has finished.
    if (g_recorder->takeAbandonedBuffer()) return;
    g_recorder->finishRecording();
  }
  // The listening screen decides, current or not, between analysis and going back.
  ListeningScreen* listening = (ListeningScreen*)g_screens[SCREEN_LISTENING];
  if (listening != NULL) listening->recordingFinished();
}
