// The identification reply as the client reads it: every element found, "null" values, CP1252.
#include "TestSupport.h"
#include "http/ReplyBuilder.h"

#include <gtest/gtest.h>

using namespace melodex;
using melodex::test::parseClientReply;

namespace {

http::SongReply sampleSong() {
    http::SongReply s;
    s.album = "The Battle for Wesnoth OST";
    s.artist = "Timothy Pinkham";
    s.title = "The Knolls of Doldesh";
    s.smsMessage = http::ReplyBuilder::smsText(s.title, s.artist);
    s.albumArt = "http://127.0.0.1:8470/art/0.jpg";
    s.ringer = "http://127.0.0.1:8470/ringtone/1.html";
    s.fullSong = "http://127.0.0.1:8470/fullsong/1.html";
    return s;
}

} // namespace

// A leading string, a zero byte, three skipped bytes, then the tag text up to a zero byte: the
// client finds every element with its value, and a link the song lacks as the four letters null.
TEST(ReplyGrammar, EveryElementIsFoundWithItsValue) {
    const http::SongReply song = sampleSong();  // no wallpaper, nothing to recommend
    const std::string reply = http::ReplyBuilder::match(song);
    EXPECT_EQ(reply.substr(reply.find('\0') + 4, 7), "<ALBUM>");
    EXPECT_EQ(reply.back(), '\0');
    const auto record = parseClientReply(reply);
    ASSERT_TRUE(record.has_value());
    const std::map<std::string, std::string> expected = {
        {"ALBUM", song.album},        {"ARTIST", song.artist}, {"TRACK_TITLE", song.title},
        {"ALBUM_ART", song.albumArt}, {"WALLPAPER", "null"},   {"RINGER", song.ringer},
        {"RECOMMEND", "null"},        {"FULL_SONG", song.fullSong}, {"SMS_MESSAGE", song.smsMessage}};
    EXPECT_EQ(record->fields, expected);
}

TEST(ReplyGrammar, TextsAreWindows1252) {
    http::SongReply song = sampleSong();
    song.artist = "Mötley Crüe";               // U+00F6, U+00FC: one byte each in CP1252
    song.title = "Café – “Live” €5";           // en dash 0x96, quotes 0x93/0x94, euro 0x80
    song.album = "日本 <Edition>";             // not in CP1252; brackets would break the grammar
    const auto record = parseClientReply(http::ReplyBuilder::match(song));
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->fields.at("ARTIST"), "M\xF6tley Cr\xFC" "e");
    EXPECT_EQ(record->fields.at("TRACK_TITLE"), "Caf\xE9 \x96 \x93Live\x94 \x80" "5");
    EXPECT_EQ(record->fields.at("ALBUM"), "?? (Edition)");
}

TEST(ReplyGrammar, SmsMessageFitsOneTextMessage) {
    const std::string longTitle(300, 'x');
    const std::string sms = http::ReplyBuilder::smsText(longTitle, "Some Artist");
    EXPECT_LE(http::ReplyBuilder::toCp1252(sms).size(), http::ReplyBuilder::kSmsLimit);
    http::SongReply song = sampleSong();
    song.title = longTitle;
    song.smsMessage = sms;
    const auto record = parseClientReply(http::ReplyBuilder::match(song));
    ASSERT_TRUE(record.has_value());
    EXPECT_LE(record->fields.at("SMS_MESSAGE").size(), 160u);
    EXPECT_NE(record->fields.at("SMS_MESSAGE").find("Some Artist"), std::string::npos);
    // An artist too long for any shortened title: the reply cuts the message itself.
    song.artist = std::string(200, 'a');
    song.smsMessage = http::ReplyBuilder::smsText(song.title, song.artist);
    const auto cut = parseClientReply(http::ReplyBuilder::match(song));
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->fields.at("SMS_MESSAGE").size(), 160u);
}

