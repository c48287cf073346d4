// The identification request and reply. So far its tag search; the request thread,
// the reply parser and the reply handling join this header with the analyzing screen.
#pragma once

#include <windows.h>

// findTag: the offset of the first occurrence of `needle` in the tag text, or -1. The tag text is
// the bytes at `tagText` up to its first zero byte or to `length` bytes, whichever comes first: a
// reply's received bytes need not end in a zero (the transport adds none), so the search never
// looks beyond them. The needle is a zero-terminated tag such as "<ALBUM>", matched byte for byte
// ("<ALBUM>" does not match "<ALBUM_ART>").
int findTag(const char* needle, const char* tagText, DWORD length);
