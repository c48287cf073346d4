// Part 1.1, MM_WIM_DATA: the wave-in device reports a full (or handed-back) buffer.
//
// HOOK: AudioRecorder (Part 2.2, audio/) and ListeningScreen (Part 5.2, screens/) come with
// the recording issue. That issue fills in the two marked calls below, in this order, and
// includes "audio/AudioRecorder.h" and "screens/ListeningScreen.h". Until then only the log
// line is written: no recorder can exist (nothing creates one) and screen 4 has no class
// (app/ScreenTable.cpp), so both calls would be skipped anyway.
#include "app/RecordingRoute.h"

#include "app/AppState.h"
#include "app/Log.h"

void RouteRecordingFinished() {
  WriteLog("Melodex: got MM_WIM_DATA message\r\n");
  // HOOK (Part 2.2): g_recorder->finishRecording();
  // HOOK (Part 5.2): if (g_screens[SCREEN_LISTENING] != NULL)
  //                    ((ListeningScreen*)g_screens[SCREEN_LISTENING])->recordingFinished();
}
