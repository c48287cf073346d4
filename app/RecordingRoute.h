// The MM_WIM_DATA row of the window procedure's table.
#pragma once

// Logs "Melodex: got MM_WIM_DATA message\r\n", then finishRecording on g_recorder,
// then, if the listening screen (id 4) has been created, its recordingFinished,
// whether or not it is current. The message's parameters are not looked at.
void RouteRecordingFinished();
