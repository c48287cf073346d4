// The log file.
#include "app/Log.h"

#include <stdio.h>
#include <string.h>

#include "app/AppState.h"

// The program never closes or flushes the log explicitly: it is written until the process ends.
void OpenLog() { g_logFile = fopen("\\Application Data\\Melodex\\log.txt", "w"); }

void WriteLog(const char* text) {
  size_t length = strlen(text);
  // One fwrite with element size = length. A log that could not be opened (the program runs
  // on without one) and an empty text (a zero element size) write nothing to the file.
  if (g_logFile != NULL && length > 0) fwrite(text, length, 1, g_logFile);
  // As text, never as a format string, so a percent sign is written unchanged.
  fputs(text, stdout);
}
