#include "ClientReplyParser.h"

namespace melodex::test {

const char* const kReplyElements[9] = {"ALBUM", "ARTIST", "TRACK_TITLE", "ALBUM_ART", "WALLPAPER",
                                       "RINGER", "SMS_MESSAGE", "RECOMMEND", "FULL_SONG"};

std::optional<ClientRecord> parseClientReply(const std::string& receivedWhole) {
    const std::string received = receivedWhole.substr(0, 100000);
    const size_t leadingLength = received.find('\0');
    std::string tagText;
    if (leadingLength != std::string::npos && leadingLength + 4 <= received.size())
        tagText = received.substr(leadingLength + 4, received.find('\0', leadingLength + 4) - (leadingLength + 4));
    ClientRecord record;
    for (const std::string name : kReplyElements) {
        const size_t open = tagText.find("<" + name + ">");
        const size_t close = tagText.find("</" + name + ">");
        const size_t valueStart = open + name.size() + 2;
        if (open != std::string::npos && close != std::string::npos && close >= valueStart)
            record.fields[name] = tagText.substr(valueStart, close - valueStart);
    }
    if (record.fields.empty())
        return std::nullopt;
    return record;
}

} // namespace melodex::test
