// MM_WIM_DATA: the wave-in device reports a full (or handed-back) buffer.
//
// The recorder's call (audio/) is in place. HOOK: ListeningScreen (screens/) is not written yet;
// it fills in the second marked call, including "screens/ListeningScreen.h"; until then screen 4
// has no class (app/ScreenTable.cpp), so that call would be skipped anyway.
#include "app/RecordingRoute.h"

#include "app/AppState.h"
#include "app/Log.h"
#include "audio/AudioRecorder.h"

void RouteRecordingFinished() {
  WriteLog("Melodex: got MM_WIM_DATA message\r\n");
  // Only a recording can post MM_WIM_DATA, so the recorder exists; the test guards
  // against a stray message all the same.
  if (g_recorder != NULL) g_recorder->finishRecording();
  // HOOK (listening screen): if (g_screens[SCREEN_LISTENING] != NULL)
  //                    ((ListeningScreen*)g_screens[SCREEN_LISTENING])->recordingFinished();
}
