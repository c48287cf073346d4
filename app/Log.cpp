// Part 1.3, the log file.
#include "app/Log.h"

#include <stdio.h>
#include <string.h>

#include "app/AppState.h"

// The program never closes or flushes the log explicitly (Part 1.3).
void OpenLog() { g_logFile = fopen("\\Application Data\\Melodex\\log.txt", "w"); }

void WriteLog(const char* text) {
  // Step 1.
  size_t length = strlen(text);
  // Step 2: one fwrite with element size = length. A log that could not be opened (DESIGN §6)
  // and an empty text (a zero element size) write nothing to the file.
  if (g_logFile != NULL && length > 0) fwrite(text, length, 1, g_logFile);
  // Step 3: as text, never as a format string, so a percent sign is written unchanged.
  fputs(text, stdout);
}
