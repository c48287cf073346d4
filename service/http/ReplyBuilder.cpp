#include "ReplyBuilder.h"

#include <array>
#include <cstdint>

namespace melodex::http {
namespace {

// Windows-1252 bytes 0x80-0x9F and the Unicode characters they stand for (0 = unused).
constexpr std::array<uint16_t, 32> kHighControls = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

// Next code point of UTF-8 text; invalid bytes come back as U+FFFD, one byte each.
uint32_t nextCodePoint(std::string_view s, size_t& i) {
    const auto b0 = static_cast<uint8_t>(s[i++]);
    if (b0 < 0x80)
        return b0;
    const int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) > s.size())
        return 0xFFFD;
    uint32_t cp = b0 & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        const auto b = static_cast<uint8_t>(s[i]);
        if ((b & 0xC0) != 0x80)
            return 0xFFFD;
        cp = (cp << 6) | (b & 0x3F);
        ++i;
    }
    return cp;
}

char cp1252(uint32_t cp) {
    if (cp == '<')
        return '(';
    if (cp == '>')
        return ')';
    if (cp < 0x20 || cp == 0x7F)
        return ' ';
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (size_t k = 0; k < kHighControls.size(); ++k)
        if (kHighControls[k] == cp)
            return static_cast<char>(0x80 + k);
    return '?';
}

void element(std::string& out, std::string_view tag, std::string_view value) {
    out += '<';
    out += tag;
    out += '>';
    out += value;
    out += "</";
    out += tag;
    out += '>';
}

std::string head() {
    std::string reply(ReplyBuilder::kLeading);
    reply += '\0';
    reply += "MDX";  // three bytes the client skips
    return reply;
}

} // namespace

std::string ReplyBuilder::toCp1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();)
        out += cp1252(nextCodePoint(utf8, i));
    return out;
}

std::string ReplyBuilder::match(const SongReply& song) {
    // URLs are the service's own ASCII; an empty one has nothing to offer and says "null".
    auto link = [](const std::string& url) { return url.empty() ? std::string("null") : toCp1252(url); };
    std::string sms = toCp1252(song.smsMessage);
    if (sms.size() > kSmsLimit)
        sms.resize(kSmsLimit);
    std::string reply = head();
    element(reply, "ALBUM", toCp1252(song.album));
    element(reply, "ARTIST", toCp1252(song.artist));
    element(reply, "TRACK_TITLE", toCp1252(song.title));
    element(reply, "ALBUM_ART", link(song.albumArt));
    element(reply, "WALLPAPER", link(song.wallpaper));
    element(reply, "RINGER", link(song.ringer));
    element(reply, "SMS_MESSAGE", sms);
    element(reply, "RECOMMEND", link(song.recommend));
    element(reply, "FULL_SONG", link(song.fullSong));
    reply += '\0';
    return reply;
}

std::string ReplyBuilder::noMatch() {
    std::string reply = head();
    reply += "NO MATCH";
    reply += '\0';
    return reply;
}

std::string ReplyBuilder::smsText(const std::string& title, const std::string& artist) {
    const std::string tail = " - identified with Melodex";
    auto compose = [&](const std::string& t) { return "Listening to \"" + t + "\" by " + artist + tail; };
    std::string text = compose(title);
    // Shorten the title (then the whole text) until the Windows-1252 form fits.
    std::string shortTitle = title;
    while (toCp1252(text).size() > kSmsLimit && shortTitle.size() > 8) {
        do
            shortTitle.pop_back();
        while (!shortTitle.empty() && (static_cast<uint8_t>(shortTitle.back()) & 0xC0) == 0x80);
        if (!shortTitle.empty())
            shortTitle.pop_back();
        text = compose(shortTitle + "...");
    }
    return text;
}

} // namespace melodex::http
