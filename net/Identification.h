// The identification exchange: the request that carries the recording to the identification
// endpoint, the tag-delimited reply and how it becomes a TagRecord, the album-art fetch, the
// saving of the result and its hand-over to the results screen.
#pragma once

#include <windows.h>

class AnalyzingScreen;
class TagRecord;

// The request URL is built in a buffer of this many bytes, its terminating zero included.
#define IDENTIFY_URL_SIZE 512
// The service's request kind, sent as the URL's id.
#define IDENTIFY_REQUEST_ID 1003

// A new 512-byte buffer holding "<endpoint>?id=1003&ownerIdentifier=<owner>", the owner
// identifier converted to 8 bits and inserted unchanged (no percent-encoding); null when
// memory cannot be had. The caller frees it.
char* BuildRequestURL();

// The identification thread's entry; the argument is the analyzing screen that started it.
// Sends the recording; a failure is reported (error screen 10) only while the identification
// is still wanted. On success the handler's WM_USER carries the rest to the user-interface
// thread.
DWORD WINAPI IdentifyThreadProc(LPVOID screen);

// User-interface thread: the identification thread `thread` asked for error screen 10. It is
// shown only while that thread's identification is still the analyzing screen's current one:
// a cancel or time-out that came after the thread's own check drops the report.
void ShowSendErrorFor(DWORD thread);

// Reads the reply in the screen's current handler: a new record, numbered from the counter,
// owned by the caller, or null when the reply holds no complete element (a number is used all
// the same).
TagRecord* parseReply(AnalyzingScreen* screen);

// The reply handling, on the user-interface thread after WM_USER: parse, release the request,
// fetch the album art, save, switch to the results screen and hand it the record.
void HandleIdentifyReply(AnalyzingScreen* screen);

// The offset of the first occurrence of `needle` in the tag text, or -1. The tag text is the
// bytes at `tagText` up to its first zero byte or to `length` bytes, whichever comes first: a
// reply's received bytes need not end in a zero (the transport adds none), so the search never
// looks beyond them. The needle is a zero-terminated tag such as "<ALBUM>", matched byte for
// byte ("<ALBUM>" does not match "<ALBUM_ART>").
int findTag(const char* needle, const char* tagText, DWORD length);
