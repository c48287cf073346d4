// The identification reply: a leading zero-terminated string, three bytes the client skips, then
// the tag text in Windows-1252 (the phone's code page), ended by a zero byte.
#pragma once

#include <string>
#include <string_view>

namespace melodex::http {

struct SongReply {
    // Texts in UTF-8; converted to Windows-1252 on the way out.
    std::string album;
    std::string artist;
    std::string title;
    std::string smsMessage;
    // Absolute URLs on this service, or "null" when the catalog has nothing to offer.
    std::string albumArt;
    std::string wallpaper;
    std::string ringer;
    std::string recommend;
    std::string fullSong;
};

class ReplyBuilder {
public:
    static constexpr std::string_view kLeading = "MELODEX-IDD/1.0";
    static constexpr size_t kSmsLimit = 160;  // at most 160 characters, one SMS

    // A reply with all nine elements, in the order the client's parser reads them.
    static std::string match(const SongReply& song);
    // A reply without any element: the client shows its no-match view.
    static std::string noMatch();

    // UTF-8 to Windows-1252, one byte per character; characters it lacks become '?'. Zero
    // bytes, controls and the angle brackets that would break the tag grammar are replaced.
    static std::string toCp1252(std::string_view utf8);

    // "Listening to <title> by <artist> ..." in at most kSmsLimit Windows-1252 characters (UTF-8).
    static std::string smsText(const std::string& title, const std::string& artist);
};

} // namespace melodex::http
