// TagRecord: one identification result and its history files, with the history store
// operations as its members.
#pragma once

#include <windows.h>

// A plain class without virtual operations. The fields are public because the reply parser
// fills them and the results, SMS and history screens read them directly.
class TagRecord {
 public:
  // All nine text fields absent, artData null, artSize 0. number and fileTime are left to the code
  // that fills the record (the parser sets number, load both); they start at 0 here only so that a
  // record never holds indeterminate values.
  TagRecord();
  // release(); artData is borrowed and never freed.
  ~TagRecord();

  // Frees every present text field and makes it absent. artData, artSize, number
  // and fileTime are untouched. A second call frees nothing.
  void release();

  // File names: "%s\%d.dat" and "%s\%d.jpg" in the data folder, in an 8-bit form
  // (to open files for writing, and for the results screen's picture) and a UTF-16
  // form (to delete files). Each returns a new 512-byte (512-unit) heap buffer that the caller
  // frees with free, or null when memory cannot be had.
  char* datPath() const;
  char* jpgPath() const;
  WCHAR* datPathW() const;
  WCHAR* jpgPathW() const;

  // Numbering: reads the 4-byte little-endian counter "nexttag.num" (missing: 0),
  // writes it back plus one and returns the value read. When the counter cannot be
  // rewritten, the number is at least one more than the largest number among the .dat files.
  static DWORD nextTagNumber();

  // Saving: writes the .dat file, the .jpg file when artData is non-null (with the
  // two log lines), then trims the history to ten. Failures are silent apart from the log.
  void save();

  // Loading from a file name inside the data folder as the listing gives it
  // ("7.dat"). Sets number from the name first, then reads at most 4096 bytes. TRUE when the
  // record was filled. Strings that do not end within the bytes read are empty.
  BOOL load(const WCHAR* fileName);

  // The number of entries listed under "\Application Data\Melodex\*.dat".
  // Does not read the record it is called on.
  int countSaved();
  // While countSaved() > 10, deleteOldest(). Stops after a deleteOldest that removed nothing. Does
  // not read the record.
  void trimHistory();
  // Deletes "%u.dat" and "%u.jpg" of the smallest non-negative number that a listed
  // .dat name begins with. Does not read the record.
  void deleteOldest();
  // Deletes the record's .dat and then its .jpg file, ignoring both results.
  void deleteFiles();
  // The signed decimal number a UTF-16 file name begins with ("%d" as swscanf reads
  // it: "12.dat" 12, "007.dat" 7, "12abc.dat" 12), or -1 ("notes.dat").
  static LONG numberFromFileName(const WCHAR* fileName);

  // The fields, numbered; the .dat file holds eight of the strings, in this order.
  LONG number;           // 1: from the counter, or the leading number of the file name
  WCHAR* album;          // 2: .dat string 1 (UTF-16LE)
  WCHAR* artist;         // 3: .dat string 2
  WCHAR* trackTitle;     // 4: .dat string 3
  char* albumArt;        // 5: the picture's address; not stored, absent after load
  char* wallpaper;       // 6: .dat string 4 (8-bit, bytes as received)
  char* ringer;          // 7: .dat string 5
  char* smsMessage;      // 8: .dat string 6
  char* recommend;       // 9: .dat string 7
  char* fullSong;        // 10: .dat string 8
  const BYTE* artData;   // 11: borrowed picture bytes (the fetching HTTPHandler's buffer)
  DWORD artSize;         // 12: bytes at artData; the .jpg file's length
  FILETIME fileTime;     // 13: creation time of the .dat file, set only by load

 private:
  // Copying would free the same texts twice; records are passed by pointer to the screens.
  TagRecord(const TagRecord&);
  TagRecord& operator=(const TagRecord&);

  // deleteOldest's work; TRUE when the chosen .dat file was deleted, so that the trim loop
  // can stop when no progress is possible.
  BOOL removeOldest();
  // The largest non-negative number that a listed .dat name begins with, or -1.
  static LONG largestSavedNumber();
};
