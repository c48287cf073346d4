// The client's reading of an identification reply, written independently of the service's code:
// a leading string up to a zero byte (length L), three skipped bytes, then the tag text from L + 4
// to the next zero byte or the end of the at most 100000 bytes one read receives. Each element is
// found by the first occurrence of its opening tag and, searched again from the start, of its
// closing tag.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace melodex::test {

struct ClientRecord {
    // Only the elements that were found; values are the raw 8-bit bytes.
    std::map<std::string, std::string> fields;
};

// The record the client would make, or nullopt when no element was found.
std::optional<ClientRecord> parseClientReply(const std::string& received);

// The element names the client looks for, in its order.
extern const char* const kReplyElements[9];

} // namespace melodex::test
