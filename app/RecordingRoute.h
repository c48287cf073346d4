// The window procedure's MM_WIM_DATA row.
#pragma once

// Logs "Melodex: got MM_WIM_DATA message\r\n", then finishRecording on g_recorder, then, if
// the listening screen (id 4) has been created, its recordingFinished, whether or not it is
// current. The message's parameters are not looked at. A buffer that the recorder gave back
// itself after a failed start ends the route after the log line.
void RouteRecordingFinished();
