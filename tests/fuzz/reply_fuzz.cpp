// The client's reading of an identification reply: each element's tags are searched only
// within the received bytes.
#include "net/Identification.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The received bytes sit in a larger buffer, as in the transport's fixed reply buffer; the
  // bytes past them are poisoned by copying into an exact-size allocation.
  std::vector<char> received(data, data + size);
  static const char* const kTags[] = {"<ALBUM>",      "</ALBUM>",      "<ARTIST>",   "</ARTIST>",    "<TRACK_TITLE>",
                                      "</TRACK_TITLE>", "<ALBUM_ART>", "</ALBUM_ART>", "<WALLPAPER>", "</WALLPAPER>",
                                      "<RINGER>",     "</RINGER>",     "<SMS_MESSAGE>", "</SMS_MESSAGE>", "<RECOMMEND>",
                                      "</RECOMMEND>", "<FULL_SONG>",   "</FULL_SONG>"};
  for (const char* tag : kTags) {
    const int at = findTag(tag, received.data(), static_cast<DWORD>(received.size()));
    if (at < -1 || (at >= 0 && (static_cast<size_t>(at) + strlen(tag) > size ||
                                std::memcmp(received.data() + at, tag, strlen(tag)) != 0)))
      __builtin_trap();
  }
  return 0;
}
