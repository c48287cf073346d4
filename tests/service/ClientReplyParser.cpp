#include "ClientReplyParser.h"

#include <cstring>

namespace melodex::test {

const char* const kReplyElements[9] = {"ALBUM", "ARTIST", "TRACK_TITLE", "ALBUM_ART", "WALLPAPER",
                                       "RINGER", "SMS_MESSAGE", "RECOMMEND", "FULL_SONG"};

namespace {
// findTag: offset of the first occurrence of the needle in the tag text, or -1.
long findTag(const std::string& needle, const std::string& tagText) {
    const size_t at = tagText.find(needle);
    return at == std::string::npos ? -1 : static_cast<long>(at);
}
} // namespace

std::optional<ClientRecord> parseClientReply(const std::string& receivedWhole) {
    // The client's transport: one read of at most 100000 bytes.
    const std::string received = receivedWhole.substr(0, 100000);
    const size_t leadingLength = received.find('\0');
    std::string tagText;
    if (leadingLength != std::string::npos && leadingLength + 4 <= received.size()) {
        const size_t start = leadingLength + 4;
        const size_t end = received.find('\0', start);
        tagText = received.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    ClientRecord record;
    for (const char* name : kReplyElements) {
        const std::string open = std::string("<") + name + ">";
        const std::string close = std::string("</") + name + ">";
        const long o = findTag(open, tagText);
        const long c = findTag(close, tagText);
        if (o < 0 || c < 0)
            continue;
        const long valueStart = o + static_cast<long>(open.size());
        if (c < valueStart)
            continue;  // a closing tag before the value: no usable value
        record.fields[name] = tagText.substr(static_cast<size_t>(valueStart), static_cast<size_t>(c - valueStart));
    }
    if (record.fields.empty())
        return std::nullopt;
    return record;
}

} // namespace melodex::test
