// The history store's file names and limits, shared by its source files.
#pragma once

#include <windows.h>

// The data folder, created at start-up, in both text forms.
#define STORE_FOLDER_A "\\Application Data\\Melodex"
#define STORE_FOLDER_W TEXT("\\Application Data\\Melodex")
// The counter file and the listing pattern of the history.
#define STORE_COUNTER_A STORE_FOLDER_A "\\nexttag.num"
#define STORE_PATTERN_W TEXT("\\Application Data\\Melodex\\*.dat")

enum {
  STORE_PATH_CHARS = 512,   // paths are built in 512 bytes / 512 UTF-16 units
  STORE_READ_LIMIT = 4096,  // a reader takes at most the first 4096 bytes
  STORE_HISTORY_MAX = 10,   // the history keeps ten results
};
