// The history store operations of TagRecord — numbering, save, load, count, trim and
// delete — working directly on the data folder; nothing is cached between calls.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/Log.h"
#include "store/StoreFiles.h"
#include "store/TagRecord.h"

// ---- numbering ---------------------------------------------------------------------------

DWORD TagRecord::nextTagNumber() {
  // A missing file leaves 0. The bytes are assembled little-endian by hand so the
  // format does not depend on the host. A short file gives the bytes it has, the rest zero,
  // as the phone's fread leaves them in the zero-initialised value.
  DWORD value = 0;
  FILE* file = fopen(STORE_COUNTER_A, "rb");
  if (file != NULL) {
    BYTE bytes[4] = {0, 0, 0, 0};
    fread(bytes, 1, sizeof bytes, file);
    fclose(file);
    value = (DWORD)bytes[0] | ((DWORD)bytes[1] << 8) | ((DWORD)bytes[2] << 16) | ((DWORD)bytes[3] << 24);
  }
  // Write value + 1 ("wb", truncating). Nothing is reported on failure.
  BOOL rewritten = FALSE;
  file = fopen(STORE_COUNTER_A, "wb");
  if (file != NULL) {
    DWORD next = value + 1;
    BYTE bytes[4] = {(BYTE)next, (BYTE)(next >> 8), (BYTE)(next >> 16), (BYTE)(next >> 24)};
    rewritten = fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
    if (fclose(file) != 0) rewritten = FALSE;
  }
  // A counter that cannot be rewritten would hand out this number again and a later
  // save would overwrite that result; the number is raised past every saved one instead.
  if (!rewritten) {
    LONG largest = largestSavedNumber();
    if (largest >= 0 && (DWORD)largest + 1 > value) value = (DWORD)largest + 1;
  }
  // The value before the increment.
  return value;
}

// ---- saving ------------------------------------------------------------------------------

// One UTF-16 field with its 16-bit terminator. Every field has its place in the file;
// an absent one is written as empty so the following fields keep their places.
static void WriteWide(FILE* file, const WCHAR* text) {
  static const WCHAR empty[1] = {0};
  if (text == NULL) text = empty;
  fwrite(text, sizeof(WCHAR), wcslen(text) + 1, file);
}

// One 8-bit field with its zero byte, bytes as received (absent: empty, as above).
static void WriteNarrow(FILE* file, const char* text) {
  if (text == NULL) text = "";
  fwrite(text, 1, strlen(text) + 1, file);
}

void TagRecord::save() {
  // The .dat file; if it cannot be created the record is not stored and the picture
  // and the trim still run.
  char* path = datPath();
  if (path != NULL) {
    FILE* file = fopen(path, "wb");
    if (file != NULL) {
      WriteWide(file, album);
      WriteWide(file, artist);
      WriteWide(file, trackTitle);
      WriteNarrow(file, wallpaper);
      WriteNarrow(file, ringer);
      WriteNarrow(file, smsMessage);
      WriteNarrow(file, recommend);
      WriteNarrow(file, fullSong);
      fclose(file);
    }
    free(path);
  }
  // The .jpg file whenever artData is non-null, even with artSize 0 (an empty file).
  if (artData != NULL) {
    path = jpgPath();
    if (path != NULL) {
      FILE* file = fopen(path, "wb");
      if (file != NULL) {
        char line[96];
        snprintf(line, sizeof line, "writing album art data file (%d byes)\r\n", (int)artSize);
        WriteLog(line);
        size_t written = fwrite(artData, 1, artSize, file);
        snprintf(line, sizeof line, "%d bytes actually written to file\r\n", (int)written);
        WriteLog(line);
        fclose(file);
      }
      free(path);
    }
  }
  // At most ten .dat files remain, the newest included.
  trimHistory();
}

// ---- loading -----------------------------------------------------------------------------

// The bytes read from a .dat file and the position of the next string. A .dat whose strings
// run past the bytes read keeps the fields that end; once a string does not end within the
// bytes read, it and every string after it are empty, and nothing is read past the buffer.
struct DatReader {
  const BYTE* bytes;
  size_t size;
  size_t offset;
  BOOL intact;
};

// The next zero-terminated UTF-16LE string as a new heap text; FALSE when memory runs out.
static BOOL ReadWide(DatReader* reader, WCHAR** field) {
  size_t units = 0;
  BOOL ends = FALSE;
  if (reader->intact) {
    for (size_t at = reader->offset; at + 2 <= reader->size; at += 2, units++) {
      if (reader->bytes[at] == 0 && reader->bytes[at + 1] == 0) {
        ends = TRUE;
        break;
      }
    }
  }
  if (!ends) {
    reader->intact = FALSE;
    units = 0;
  }
  WCHAR* text = (WCHAR*)malloc((units + 1) * sizeof(WCHAR));
  if (text == NULL) return FALSE;
  for (size_t i = 0; i < units; i++) {
    const BYTE* unit = reader->bytes + reader->offset + 2 * i;
    text[i] = (WCHAR)(unit[0] | (unit[1] << 8));
  }
  text[units] = 0;
  *field = text;
  if (ends) reader->offset += 2 * (units + 1);
  return TRUE;
}

// The next zero-terminated 8-bit string, bytes unchanged; FALSE when memory runs out.
static BOOL ReadNarrow(DatReader* reader, char** field) {
  size_t length = 0;
  BOOL ends = FALSE;
  if (reader->intact && reader->offset < reader->size) {
    const void* zero = memchr(reader->bytes + reader->offset, 0, reader->size - reader->offset);
    if (zero != NULL) {
      ends = TRUE;
      length = (size_t)((const BYTE*)zero - (reader->bytes + reader->offset));
    }
  }
  if (!ends) {
    reader->intact = FALSE;
    length = 0;
  }
  char* text = (char*)malloc(length + 1);
  if (text == NULL) return FALSE;
  if (length > 0) memcpy(text, reader->bytes + reader->offset, length);
  text[length] = 0;
  *field = text;
  if (ends) reader->offset += length + 1;
  return TRUE;
}

BOOL TagRecord::load(const WCHAR* fileName) {
  // The number first, so that a failed load still leaves it set.
  number = numberFromFileName(fileName);
  // "%s\%s" in 512 units. A name too long for the buffer cannot name a history file
  // (MAX_PATH is far shorter); it is refused instead of overrunning the buffer.
  if (fileName == NULL || wcslen(STORE_FOLDER_W) + 1 + wcslen(fileName) + 1 > STORE_PATH_CHARS) return FALSE;
  WCHAR path[STORE_PATH_CHARS];
  wsprintfW(path, TEXT("%s\\%s"), STORE_FOLDER_W, fileName);
  FILE* file = _wfopen(path, TEXT("rb"));
  if (file == NULL) return FALSE;
  // At most the first 4096 bytes.
  BYTE* buffer = (BYTE*)malloc(STORE_READ_LIMIT);
  if (buffer == NULL) {
    fclose(file);
    return FALSE;
  }
  size_t bytesRead = fread(buffer, 1, STORE_READ_LIMIT, file);
  fclose(file);
  release();
  // The .dat file's creation time, shown by the history screen. If it cannot be read the
  // time is zero: there is no better value to show.
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (GetFileAttributesExW(path, GetFileExInfoStandard, &attributes)) {
    fileTime = attributes.ftCreationTime;
  } else {
    fileTime.dwLowDateTime = 0;
    fileTime.dwHighDateTime = 0;
  }
  // The eight strings one after another; the copies made before a failed allocation
  // stay in the record and are freed with it.
  DatReader reader = {buffer, bytesRead, 0, TRUE};
  BOOL filled = ReadWide(&reader, &album) && ReadWide(&reader, &artist) && ReadWide(&reader, &trackTitle) &&
                ReadNarrow(&reader, &wallpaper) && ReadNarrow(&reader, &ringer) &&
                ReadNarrow(&reader, &smsMessage) && ReadNarrow(&reader, &recommend) &&
                ReadNarrow(&reader, &fullSong);
  free(buffer);
  // albumArt stays absent (release made it so), artData null and artSize 0.
  artData = NULL;
  artSize = 0;
  return filled;
}

// ---- counting, trimming, deleting --------------------------------------------------------

int TagRecord::countSaved() {
  // Every listed entry counts, whether or not its name holds a number.
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(STORE_PATTERN_W, &data);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    count++;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return count;
}

void TagRecord::trimHistory() {
  // When deleteOldest removes nothing (no name begins with a non-negative number,
  // or its .dat file cannot be deleted) the count cannot fall, so the loop stops there.
  while (countSaved() > STORE_HISTORY_MAX) {
    if (!removeOldest()) break;
  }
}

void TagRecord::deleteOldest() { removeOldest(); }

BOOL TagRecord::removeOldest() {
  // The smallest non-negative leading number; the oldest is decided by number,
  // not by file time, because numbers follow the order of identification.
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(STORE_PATTERN_W, &data);
  if (find == INVALID_HANDLE_VALUE) return FALSE;
  LONG oldest = -1;
  do {
    LONG n = numberFromFileName(data.cFileName);
    if (n >= 0 && (oldest < 0 || n < oldest)) oldest = n;
  } while (FindNextFileW(find, &data));
  // Both files named after the number ("%u"), whatever name gave it. The .jpg's
  // result is ignored (a missing picture is no error); the .dat's only tells the trim
  // whether anything was removed.
  FindClose(find);
  if (oldest < 0) return FALSE;
  WCHAR path[STORE_PATH_CHARS];
  wsprintfW(path, TEXT("%s\\%u.dat"), STORE_FOLDER_W, (unsigned)oldest);
  BOOL removed = DeleteFileW(path);
  wsprintfW(path, TEXT("%s\\%u.jpg"), STORE_FOLDER_W, (unsigned)oldest);
  DeleteFileW(path);
  return removed;
}

void TagRecord::deleteFiles() {
  // The .dat first, then the .jpg; both results ignored. The caller refreshes its list.
  WCHAR* path = datPathW();
  if (path != NULL) {
    DeleteFileW(path);
    free(path);
  }
  path = jpgPathW();
  if (path != NULL) {
    DeleteFileW(path);
    free(path);
  }
}

LONG TagRecord::numberFromFileName(const WCHAR* fileName) {
  // "%d" as swscanf reads it: white space skipped, an optional sign, digits; the rest ignored.
  if (fileName == NULL) return -1;
  int value = 0;
  if (swscanf(fileName, TEXT("%d"), &value) == 1) return (LONG)value;
  return -1;
}

LONG TagRecord::largestSavedNumber() {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW(STORE_PATTERN_W, &data);
  if (find == INVALID_HANDLE_VALUE) return -1;
  LONG largest = -1;
  do {
    LONG n = numberFromFileName(data.cFileName);
    if (n > largest) largest = n;
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return largest;
}
