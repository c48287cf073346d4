// The identification request and reply: the tag search.
#include "net/Identification.h"

#include <string.h>

// The tag text is searched only within the received bytes. It is bounded by the first zero byte
// (the end of the tag text) or by the count of bytes given, whichever comes first, so a reply
// without a terminating zero is never read past its end.
int findTag(const char* needle, const char* tagText, DWORD length) {
  if (needle == NULL || tagText == NULL) return -1;
  const void* zero = memchr(tagText, 0, length);
  size_t textLength = zero != NULL ? (size_t)((const char*)zero - tagText) : (size_t)length;
  size_t needleLength = strlen(needle);
  if (needleLength > textLength) return -1;
  for (size_t at = 0; at + needleLength <= textLength; at++) {
    if (memcmp(tagText + at, needle, needleLength) == 0) return (int)at;
  }
  return -1;
}
