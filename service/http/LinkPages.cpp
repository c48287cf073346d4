#include "LinkPages.h"

#include <cstdio>

namespace melodex::http {
namespace {

std::string document(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width\">"
           "<title>" + LinkPages::escape(title) + "</title>"
           "<style>body{font-family:sans-serif;margin:8px;max-width:320px}"
           "img{border:1px solid #888}.box{display:flex;gap:8px;align-items:center}"
           "a{color:#0077c0}</style></head>\n<body>\n<h3>" + LinkPages::escape(title) + "</h3>\n" + body +
           "\n<p><a href=\"/\">Melodex catalog</a></p>\n</body></html>\n";
}

std::string minutes(double seconds) {
    // The length comes from the catalog's file: a value an int cannot hold is not a length.
    if (!(seconds >= 0.0 && seconds < 100.0 * 3600.0))
        return "?:??";
    const int whole = static_cast<int>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
    return text;
}

} // namespace

LinkPages::LinkPages(const catalog::Catalog& catalog) : catalog_(catalog) {}

std::string LinkPages::escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

const catalog::Track* LinkPages::recommendationFor(const catalog::Track& track) const {
    const auto& tracks = catalog_.tracks();
    if (tracks.size() < 2)
        return nullptr;
    const size_t here = static_cast<size_t>(&track - tracks.data());
    for (size_t step = 1; step < tracks.size(); ++step) {
        const catalog::Track& other = tracks[(here + step) % tracks.size()];
        if (other.artist != track.artist)
            return &other;
    }
    return &tracks[(here + 1) % tracks.size()];
}

std::string LinkPages::songBox(const catalog::Track& track) const {
    const catalog::Album* album = catalog_.album(track.albumId);
    return "<div class=\"box\"><img src=\"/art/" + std::to_string(track.albumId) +
           ".jpg\" width=\"88\" height=\"88\" alt=\"album art\"><div><b>" + escape(track.title) + "</b><br>" +
           escape(track.artist) + "<br><i>" + escape(album ? album->title : "") + "</i><br>" + minutes(track.seconds) +
           "</div></div>\n";
}

std::string LinkPages::page(LinkKind kind, const catalog::Track& track) const {
    const std::string id = std::to_string(track.id);
    switch (kind) {
    case LinkKind::Ringtone:
        return document("Ringtone: " + track.title,
                        songBox(track) + "<p>A 30-second ringtone cut from the opening of this song is ready for "
                                         "your phone.</p><p><a href=\"/fullsong/" + id + ".html\">Get the full song</a></p>");
    case LinkKind::FullSong:
        return document("Full song: " + track.title,
                        songBox(track) + "<p>The whole song, " + minutes(track.seconds) +
                            " long, as it is held in this catalog.</p><p><a href=\"/ringtone/" + id +
                            ".html\">Ringtone</a> &middot; <a href=\"/wallpaper/" + id + ".html\">Wallpaper</a></p>");
    case LinkKind::Wallpaper:
        return document("Wallpaper: " + track.title,
                        "<p><img src=\"/wallpaper/" + id + ".jpg\" width=\"240\" height=\"320\" alt=\"wallpaper\"></p>" +
                            songBox(track));
    case LinkKind::Recommend: {
        const catalog::Track* other = recommendationFor(track);
        if (other == nullptr)
            return document("Recommendation", "<p>This catalog holds no other song yet.</p>");
        return document("If you like " + track.title,
                        "<p>you may also like</p>" + songBox(*other) + "<p><a href=\"/fullsong/" +
                            std::to_string(other->id) + ".html\">Listen to it</a></p>");
    }
    }
    return {};
}

std::string LinkPages::index() const {
    std::string body = "<p>" + std::to_string(catalog_.tracks().size()) + " songs.</p><ol start=\"0\">\n";
    for (const auto& t : catalog_.tracks())
        body += "<li><a href=\"/fullsong/" + std::to_string(t.id) + ".html\">" + escape(t.title) + "</a> &mdash; " +
                escape(t.artist) + "</li>\n";
    return document("Melodex catalog", body + "</ol>");
}

} // namespace melodex::http
