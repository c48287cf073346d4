// The TagRecord's construction, release and file names.
#include "store/TagRecord.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "store/StoreFiles.h"

TagRecord::TagRecord()
    : number(0),
      album(NULL),
      artist(NULL),
      trackTitle(NULL),
      albumArt(NULL),
      wallpaper(NULL),
      ringer(NULL),
      smsMessage(NULL),
      recommend(NULL),
      fullSong(NULL),
      artData(NULL),
      artSize(0) {
  // number and fileTime belong to the code that fills the record; zero is only a
  // defined starting value (nobody reads fileTime unless load set it).
  fileTime.dwLowDateTime = 0;
  fileTime.dwHighDateTime = 0;
}

TagRecord::~TagRecord() { release(); }

// Frees one text field and makes it absent, so a second release() frees nothing.
template <typename T>
static void FreeField(T*& field) {
  if (field != NULL) {
    free(field);
    field = NULL;
  }
}

void TagRecord::release() {
  // artData is borrowed from the HTTP transport's reply buffer: never freed here.
  FreeField(album);
  FreeField(artist);
  FreeField(trackTitle);
  FreeField(albumArt);
  FreeField(wallpaper);
  FreeField(ringer);
  FreeField(smsMessage);
  FreeField(recommend);
  FreeField(fullSong);
}

// "%s\%d.<ext>" in a 512-byte buffer. The folder is a constant and the number at
// most 11 characters, so the text always fits.
static char* NarrowPath(LONG number, const char* extension) {
  char* path = (char*)malloc(STORE_PATH_CHARS);
  if (path == NULL) return NULL;
  snprintf(path, STORE_PATH_CHARS, "%s\\%d.%s", STORE_FOLDER_A, (int)number, extension);
  return path;
}

// The same in 512 UTF-16 units, formatted with wsprintfW, the phone's wide formatter.
static WCHAR* WidePath(LONG number, const WCHAR* format) {
  WCHAR* path = (WCHAR*)malloc(STORE_PATH_CHARS * sizeof(WCHAR));
  if (path == NULL) return NULL;
  wsprintfW(path, format, STORE_FOLDER_W, (int)number);
  return path;
}

char* TagRecord::datPath() const { return NarrowPath(number, "dat"); }
char* TagRecord::jpgPath() const { return NarrowPath(number, "jpg"); }
WCHAR* TagRecord::datPathW() const { return WidePath(number, TEXT("%s\\%d.dat")); }
WCHAR* TagRecord::jpgPathW() const { return WidePath(number, TEXT("%s\\%d.jpg")); }
