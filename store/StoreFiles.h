// The history store's file names and limits (Parts 4.1, 4.2), shared by its source files.
#pragma once

#include <windows.h>

// Part 4.1: the data folder, created at start-up (Part 1.1), in both text forms.
#define STORE_FOLDER_A "\\Application Data\\Melodex"
#define STORE_FOLDER_W TEXT("\\Application Data\\Melodex")
// Part 4.2: the counter file and the listing pattern of the history.
#define STORE_COUNTER_A STORE_FOLDER_A "\\nexttag.num"
#define STORE_PATTERN_W TEXT("\\Application Data\\Melodex\\*.dat")

enum {
  STORE_PATH_CHARS = 512,   // Part 4.1: paths are built in 512 bytes / 512 UTF-16 units
  STORE_READ_LIMIT = 4096,  // Part 4.1: a reader takes at most the first 4096 bytes
  STORE_HISTORY_MAX = 10,   // Part 4.2: the history keeps ten results
};
